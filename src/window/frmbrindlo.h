#pragma once

#include "platform/controls.h"
#include "platform/fslists.h"
#include "platform/mediaplayer.h"
#include "tag/tagrecord.h"

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
    explicit frmBrindlo(platform::MediaPlayer::AudioOutput output =
                            platform::MediaPlayer::AudioOutput::System);
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

    // Controls, created in this order.
    platform::Button cmdResize;
    platform::Timer Timer1;
    platform::DriveList Drive1;
    platform::FolderList Dir1;
    platform::Button cmdSaveTag;
    platform::Button cmdOpen;
    platform::ComboBox cmbGenre;
    platform::TextBox txtGenreCode;
    platform::TextBox txtComment;
    platform::TextBox txtYear;
    platform::TextBox txtAlbum;
    platform::TextBox txtArtist;
    platform::TextBox txtTitle;
    platform::FileList File1;
    platform::Label Label6;
    platform::Label Label5;
    platform::Label Label4;
    platform::Label Label3;
    platform::Label Label2;
    platform::Label Label1;
    platform::Label lblElapsedTime;
    platform::Label lblTotalTime;
    platform::Label Label7;
    platform::MediaPlayer media;

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
    void designControls();
    void connectEvents();
    void keepControlsOutOfViewInert();
    void focusFirstControl();

    // The controls that take the keyboard focus, in tab order (the player,
    // at tab index 0, before them).
    std::vector<platform::Control*> focusOrder_;
};
