#include "window/frmbrindlo.h"

#include "controls/diskwait.h"
#include "files/drives.h"
#include "controls/messagebox.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QEvent>
#include <QIcon>
#include <QTimer>
#include <algorithm>
#include <vector>

namespace {

constexpr int kFrameTwips = 45; // each side; the outer width includes it
constexpr int kClientWidth = 10965;
constexpr int kClientHeight = 3825;

QIcon makeWindowIcon() {
    QIcon icon;
    for (int size : {16, 32})
        icon.addFile(QStringLiteral(":/icons/brindlo-%1.png").arg(size), QSize(size, size));
    return icon;
}

// Reading the icon's PNG files starts Qt's image plugin loader, which the
// first paint does not need: the window gets its icon just after that paint.
class IconAfterFirstPaint final : public QObject {
public:
    explicit IconAfterFirstPaint(QWidget* window) : QObject(window), window_(window) {
        window->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint) {
            window_->removeEventFilter(this);
            QTimer::singleShot(0, this, [this] {
                window_->setWindowIcon(makeWindowIcon());
                deleteLater();
            });
        }
        return false;
    }

private:
    QWidget* window_;
};

// A plain top-level widget is a filler to screen readers; ours is the
// program's window, so it is announced as a frame with its title.
QAccessibleInterface* windowAccessible(const QString&, QObject* object) {
    if (auto* window = dynamic_cast<frmBrindlo*>(object))
        return new QAccessibleWidget(window, QAccessible::Window);
    return nullptr;
}

} // namespace

frmBrindlo::frmBrindlo(player::MediaPlayer::AudioOutput output)
    : designFont_(this), cmdResize(this), Drive1(this), Dir1(this), cmdSaveTag(this),
      cmdOpen(this), cmbGenre(this), txtGenreCode(this), txtComment(this), txtYear(this),
      txtAlbum(this), txtArtist(this), txtTitle(this), File1(this), Label6(this), Label5(this),
      Label4(this), Label3(this), Label2(this), Label1(this), lblElapsedTime(this),
      lblTotalTime(this), Label7(this), media(this, output) {
    static const bool accessibleWindow = [] {
        QAccessible::installFactory(windowAccessible);
        return true;
    }();
    (void)accessibleWindow;
    designControls();
    connectEvents();
    controls::setFailureReporter([this](const QString& what) {
        controls::MsgBox(this, what, Caption(), controls::MessageIcon::Critical);
    });
    // A wait on a slow disk is told where the player tells its state.
    controls::setWaitNotice([this](const QString& text) { media.setWaitNote(text); });
    Form_Load();
    setStartFocus();
}

frmBrindlo::~frmBrindlo() {
    controls::setFailureReporter({});
    controls::setWaitNotice({});
}

void frmBrindlo::designControls() {
    setCaption(QStringLiteral("Brindlo"));
    new IconAfterFirstPaint(this);
    setFixedSize(controls::twipsToPixels(kClientWidth), controls::twipsToPixels(kClientHeight));

    using Align = controls::Label::Alignment;

    cmdResize.move(10800, 120, 135, 2895);
    cmdResize.setCaption(QStringLiteral("<"));
    cmdResize.setToolTip(QStringLiteral("Toggle Tag Editing Mode"));
    // Its caption is an arrow, which a screen reader would read as "less
    // than"; it is told the mode the arrow stands for and what a press does.
    cmdResize.setSpokenCaptions({
        {QStringLiteral("<"), QStringLiteral("Tag editing mode: on"),
         QStringLiteral("Press to switch to the compact player")},
        {QStringLiteral(">"), QStringLiteral("Tag editing mode: off"),
         QStringLiteral("Press to switch to tag editing")},
    });
    cmdResize.setTabIndex(22);

    Timer1.setInterval(1000);
    Timer1.setEnabled(false);

    Drive1.move(120, 2280, 2415, 315);
    Drive1.setDrives(files::driveRoots());
    Drive1.setAccessibleName(QStringLiteral("Drive"));
    Drive1.setTabIndex(11);

    Dir1.move(120, 120, 2415, 2115);
    Dir1.setAccessibleName(QStringLiteral("Folders"));
    Dir1.setTabIndex(10);

    cmdSaveTag.move(7200, 2640, 3495, 375);
    cmdSaveTag.setCaption(QStringLiteral("&Save Tag"));
    cmdSaveTag.setTabIndex(9);

    cmdOpen.move(120, 2640, 2415, 375);
    cmdOpen.setCaption(QStringLiteral("&Open"));
    cmdOpen.setTabIndex(8);

    cmbGenre.move(8040, 2280, 1935, 315);
    cmbGenre.setAccessibleName(QStringLiteral("Genre"));
    cmbGenre.setTabIndex(7);

    txtGenreCode.move(10080, 2280, 615, 285);
    txtGenreCode.setMaxLength(0);
    txtGenreCode.setAccessibleName(QStringLiteral("Genre code"));
    txtGenreCode.setTabIndex(6);

    struct Row {
        controls::TextBox& box;
        controls::Label& label;
        int top;
        const char* caption;
        int maxLength;
        int tabIndex;
        int labelTabIndex;
    };
    const Row rows[] = {
        {txtComment, Label5, 1800, "Comment", 30, 5, 19},
        {txtYear, Label4, 1320, "Year", 4, 4, 18},
        {txtAlbum, Label3, 960, "Album", 30, 3, 17},
        {txtArtist, Label2, 480, "Artist", 30, 2, 16},
        {txtTitle, Label1, 120, "Title", 30, 1, 15},
    };
    for (const Row& row : rows) {
        row.box.move(8040, row.top, 2655, 285);
        row.box.setMaxLength(row.maxLength);
        row.box.setAccessibleName(QString::fromLatin1(row.caption));
        row.box.setTabIndex(row.tabIndex);
        row.label.move(7080, row.top, 855, 255);
        row.label.setCaption(QString::fromLatin1(row.caption) + u':');
        row.label.setAlignment(Align::Right);
        row.label.setTabIndex(row.labelTabIndex);
        row.label.setBuddy(row.box.widget());
    }

    File1.move(2640, 120, 4455, 2820);
    File1.setPattern(QStringLiteral("*.mp3"));
    File1.setAccessibleName(QStringLiteral("Files"));
    File1.setTabIndex(12);

    Label6.move(7080, 2280, 855, 255);
    Label6.setCaption(QStringLiteral("Genre:"));
    Label6.setAlignment(Align::Right);
    Label6.setTabIndex(20);
    Label6.setBuddy(cmbGenre.widget());

    lblElapsedTime.move(3600, 3600, 855, 255);
    lblElapsedTime.setCaption(QStringLiteral("0:00"));
    lblElapsedTime.setAlignment(Align::Right);
    lblElapsedTime.setTabIndex(14);

    lblTotalTime.move(4680, 3600, 615, 255);
    lblTotalTime.setCaption(QStringLiteral("0:00"));
    lblTotalTime.setAlignment(Align::Left);
    lblTotalTime.setTabIndex(13);

    Label7.move(4560, 3600, 255, 255);
    Label7.setCaption(QStringLiteral("/"));
    Label7.setAlignment(Align::Left);
    Label7.setTabIndex(21);

    // Read out as bare "0:00" otherwise; the name stays the visible text.
    lblElapsedTime.widget()->setAccessibleDescription(QStringLiteral("Elapsed time"));
    lblTotalTime.widget()->setAccessibleDescription(QStringLiteral("Total time"));

    media.move(120, 3120, 10815, 615);
    media.setAccessibleName(QStringLiteral("Player"));

    // Labels lie below every other control. The time labels overlap the
    // player's lowest strip, which the player leaves empty, so they stand
    // above it there; they never take the mouse either way.
    for (controls::Label* label : {&Label1, &Label2, &Label3, &Label4, &Label5, &Label6})
        label->widget()->lower();
    for (controls::Label* label : {&lblElapsedTime, &Label7, &lblTotalTime})
        label->widget()->raise();

    // Keyboard focus follows the tab indexes; labels never take it.
    std::vector<controls::Control*> order = {
        &txtTitle, &txtArtist, &txtAlbum, &txtYear, &txtComment, &txtGenreCode, &cmbGenre,
        &cmdOpen,  &cmdSaveTag, &Dir1,   &Drive1,  &File1,      &cmdResize};
    std::sort(order.begin(), order.end(), [](const controls::Control* a, const controls::Control* b) {
        return a->TabIndex() < b->TabIndex();
    });
    QWidget* previous = &media;
    for (controls::Control* control : order) {
        setTabOrder(previous, control->widget());
        previous = control->widget();
    }
    focusOrder_ = order;
}

// The window opens with the focus on the folder list, where browsing
// starts and where a first key does no harm: the arrows only move the
// list's cursor, and Enter opens the folder already shown. Where Tab order
// begins, on the player's first button, a first Space would mute or play.
void frmBrindlo::setStartFocus() { Dir1.widget()->setFocus(Qt::OtherFocusReason); }

// The design leaves the tag controls in place when the window narrows, out
// of view right of its edge. There they must take neither the focus nor
// typing nor an access key, so they are disabled until they show again.
void frmBrindlo::keepControlsOutOfViewInert() {
    const QRect client = rect();
    for (controls::Control* control : focusOrder_) {
        QWidget* widget = control->widget();
        widget->setEnabled(client.contains(widget->geometry()));
    }
}

// The event table: which handler runs for which control event.
void frmBrindlo::connectEvents() {
    Drive1.Change.connect([this] { Drive1_Change(); });
    Dir1.Change.connect([this] { Dir1_Change(); });
    File1.Click.connect([this] {
        File1_Click();
        ShowOtherTags();
    });
    File1.DblClick.connect([this] { File1_DblClick(); });
    cmbGenre.Change.connect([this] { cmbGenre_Change(); });
    cmbGenre.Click.connect([this] { cmbGenre_Click(); });
    cmbGenre.Scroll.connect([this] { cmbGenre_Scroll(); });
    txtGenreCode.Change.connect([this] { txtGenreCode_Change(); });
    cmdOpen.Click.connect([this] { cmdOpen_Click(); });
    cmdSaveTag.Click.connect([this] { cmdSaveTag_Click(); });
    cmdResize.Click.connect([this] { cmdResize_Click(); });
    Timer1.Tick.connect([this] { Timer1_Timer(); });
    media.OpenStateNotify.connect([this](std::int32_t firstValue, std::int32_t openState) {
        media_OpenStateNotify(firstValue, openState);
    });
}

QString frmBrindlo::Caption() const { return windowTitle(); }
void frmBrindlo::setCaption(const QString& caption) { setWindowTitle(caption); }

int frmBrindlo::Width() const { return ScaleWidth() + 2 * kFrameTwips; }
void frmBrindlo::setWidth(int twips) {
    setFixedWidth(controls::twipsToPixels(twips - 2 * kFrameTwips));
    keepControlsOutOfViewInert();
}
int frmBrindlo::ScaleWidth() const { return width() * controls::kTwipsPerPixel; }
int frmBrindlo::ScaleHeight() const { return height() * controls::kTwipsPerPixel; }
