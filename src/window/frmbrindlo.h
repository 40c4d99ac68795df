#pragma once

#include "controls/button.h"
#include "controls/combobox.h"
#include "controls/designfont.h"
#include "controls/drivelist.h"
#include "controls/filelist.h"
#include "controls/folderlist.h"
#include "controls/label.h"
#include "controls/textbox.h"
#include "controls/timer.h"
#include "player/mediaplayer.h"
#include "core/tagrecord.h"

#include <QString>
#include <QStringList>
#include <QVariant>
#include <QWidget>
#include <cstdint>
#include <vector>

// The program's one window. Its operations are its event handlers and
// ClearTagFields; each is defined in the folder of its subsystem.
class frmBrindlo final : public QWidget {
public:
    // Tests pass AudioOutput::Silent so that nothing needs a sound card.
    explicit frmBrindlo(player::MediaPlayer::AudioOutput output =
                            player::MediaPlayer::AudioOutput::System);
    ~frmBrindlo() override;

    // The window's own properties, in twips where they are sizes.
    QString Caption() const;
    void setCaption(const QString& caption);
    int Width() const; // outer width, a frame of 45 twips each side included
    void setWidth(int twips);
    int ScaleWidth() const; // client width
    int ScaleHeight() const;

    // Event handlers, in the window's order of operations.
    void Drive1_Change();
    void cmbGenre_Change();
    void cmbGenre_Click();
    void cmbGenre_Scroll();
    void cmdResize_Click();
    void File1_Click();
    void Dir1_Change();
    void cmdSaveTag_Click();
    void cmdOpen_Click();
    void File1_DblClick();
    void Form_Load();
    void media_OpenStateNotify(std::int32_t firstValue, std::int32_t openState);
    void Timer1_Timer();
    void txtGenreCode_Change();

    QString BuildFullPath() const;

    // Goes to a file or folder (a path or a file:// URI) the way the user
    // would: its drive, its folder, a click on the file. Returns why it could
    // not, "" when it could; a path that cannot be opened changes nothing.
    QString OpenPath(const QString& pathOrUri);

private:
    // First of all, so that every control is made in the window's font.
    controls::DesignFont designFont_;

public:
    // Controls, created in this order.
    controls::Button cmdResize;
    controls::Timer Timer1;
    controls::DriveList Drive1;
    controls::FolderList Dir1;
    controls::Button cmdSaveTag;
    controls::Button cmdOpen;
    controls::ComboBox cmbGenre;
    controls::TextBox txtGenreCode;
    controls::TextBox txtComment;
    controls::TextBox txtYear;
    controls::TextBox txtAlbum;
    controls::TextBox txtArtist;
    controls::TextBox txtTitle;
    controls::FileList File1;
    controls::Label Label6;
    controls::Label Label5;
    controls::Label Label4;
    controls::Label Label3;
    controls::Label Label2;
    controls::Label Label1;
    controls::Label lblElapsedTime;
    controls::Label lblTotalTime;
    controls::Label Label7;
    player::MediaPlayer media;

    // Window-level values, in their order of declaration.
    QVariant varGenres;   // QStringList: the genre catalogue
    QVariant varMinutes;  // double
    std::int16_t intSeconds = 0;
    QVariant varCurrentFile; // QString: full path of the file last clicked or saved
    QString strBaseCaption;
    bool blnFileOpen = false;
    tag::TagRecord TagRecord;

private:
    void ClearTagFields();
    // After a click on a file: tells in the strip of an ID3v2 or APE tag in it.
    void ShowOtherTags();
    void designControls();
    void connectEvents();
    void keepControlsOutOfViewInert();
    void setStartFocus();

    // The controls that take the keyboard focus, in tab order (the player,
    // at tab index 0, before them).
    std::vector<controls::Control*> focusOrder_;
};
