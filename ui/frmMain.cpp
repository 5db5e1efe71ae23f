#include "ui/frmMain.h"

#include <unistd.h>

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDropEvent>
#include <QGroupBox>
#include <QLineEdit>
#include <QPainter>
#include <QPixmap>
#include <QPointer>
#include <QStyle>
#include <QStyleOptionButton>
#include <cmath>
#include <cstdio>
#include <optional>
#include <stdexcept>

#include "build_info.h"
#include "controls/command.h"
#include "controls/control_registry.h"
#include "controls/frame_geometry.h"
#include "controls/property_bag.h"
#include "job/engine_hooks.h"
#include "job/process_state.h"
#include "job/remove_html.h"
#include "platform/cleanup_on_signal.h"
#include "platform/file_system.h"
#include "settings/option_transfer.h"
#include "ui/dropped_file.h"
#include "ui/qt_prompter.h"
#include "ui/readme_viewer.h"
#include "ui/set_buttons.h"
#include "ui/shell_open.h"

// Resources compiled into this static library register themselves only when
// asked to; this has to be called outside any namespace.
static void InitWindowResources() { Q_INIT_RESOURCE(window_resources); }

namespace sievetext {

namespace {

// The layout is given in twips (TwipRect); at 96 dots per inch a pixel is 15 twips.
const QColor kWindowColour(102, 175, 230);
const QColor kNoticeColour(92, 197, 231);
const QColor kShadowColour(0, 0, 128);
constexpr int kClientWidthTwips = 6810;
constexpr int kClientHeightTwips = 3930;

const char* const kNotice = "Freeware from Wexa";

QFont OptionFont() {
  QFont font(QStringLiteral("Verdana"));
  font.setPointSizeF(8.25);
  font.setBold(true);
  font.setItalic(true);
  return font;
}

QFont NoticeFont() {
  QFont font(QStringLiteral("Arial"));
  font.setPointSizeF(8.25);
  font.setBold(true);
  return font;
}

QFont ButtonFont() {
  QFont font(QStringLiteral("MS Sans Serif"));
  font.setPointSizeF(8.25);
  font.setBold(false);
  return font;
}

struct CheckBoxPlace {
  const char* name;
  const char* caption;
  int left, top, width, height;  // twips, inside the frame
};

// The option boxes of each frame, top to bottom. "&&" shows one "&".
const CheckBoxPlace kFrame1Boxes[] = {
    {"chkRemoveComments", "Remove Comments (<!-- -->)", 120, 300, 3255, 195},
    {"chkRemoveScripts", "Remove Scripts (<SCRIPT> </SCRIPT>)", 120, 510, 4275, 195},
    {"chkRemoveStyles", "Remove Styles(<STYLE> </STYLE>)", 120, 720, 3885, 195},
    {"chkRemoveFunctions", "Remove functions ( { } )", 120, 930, 3885, 195},
    {"chkRemovePipe", "Remove pipe character '|'", 120, 1140, 3885, 195},
    {"chkRemoveTabs", "Remove TAB characters", 120, 1350, 4215, 195},
    {"chkGenerateSpecialChars", "Generate foreign && special characters", 120, 1560, 4125, 195},
    {"chkRemoveAllTags", "Remove all tags < >", 120, 1770, 3225, 195},
    // Not one of the eleven: the conversion's mode (kLayoutKey), in the row
    // the frame has free below them.
    {"chkLayout", "Reading mode - as a browser shows it", 120, 1980, 4275, 195},
};
const CheckBoxPlace kFrame2Boxes[] = {
    {"chkRemoveSpaces", "Remove Spaces", 150, 270, 3255, 195},
    {"chkRemoveBlankLines", "Remove Blank Lines", 150, 480, 3405, 195},
    {"chkRemoveAllCRLF", "Remove all lines - extract only words", 150, 690, 4095, 195},
};

// Keyboard focus order: the option boxes from the top, except "Remove
// functions", which comes after the three whitespace boxes; those run from
// the bottom one up; then the notice and the five buttons from the top. The
// reading mode, last of the first frame, comes after its other boxes.
const char* const kTabOrder[] = {
    "chkRemoveComments",
    "chkRemoveScripts",
    "chkRemoveStyles",
    "chkRemovePipe",
    "chkRemoveTabs",
    "chkGenerateSpecialChars",
    "chkRemoveAllTags",
    "chkLayout",
    "chkRemoveAllCRLF",
    "chkRemoveBlankLines",
    "chkRemoveSpaces",
    "chkRemoveFunctions",
    "Text1",
    "cmdSelectInput",
    "cmdSelectOutput",
    "cmdRemoveHTML",
    "cmdReadme",
    "cmdWebsite",
};

// What the reading-mode box does, for its tooltip and for screen readers.
const char* const kLayoutHelp =
    "Remove HTML gives the page's visible text, laid out in lines as a browser shows it. "
    "Comments, scripts, styles and tags never reach that text and braces stay, so the "
    "options for them do nothing then.";

// The settings as the job saves them at the end, with the reading mode's key
// written after the eleven options, in the same single write of the file.
class WithLayoutKey final : public SettingsStore {
 public:
  WithLayoutKey(SettingsStore& store, bool layout) : store_(store), layout_(layout) {}
  std::string read(std::string_view key, std::string_view defaultText) override {
    return store_.read(key, defaultText);
  }
  void write(std::string_view key, std::string_view text) override { store_.write(key, text); }
  void sync() override {
    SaveLayout(layout_, store_);
    store_.sync();
  }

 private:
  SettingsStore& store_;
  bool layout_;
};

// A flat frame in the window's colour: an etched line around it, broken at
// the top-left by its caption. (The style's own group box tints its inside.)
class Frame final : public QGroupBox {
 public:
  Frame(const QString& caption, QWidget* parent) : QGroupBox(caption, parent) {}

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    const QFontMetrics metrics(font());
    const QColor back = palette().color(QPalette::Window);
    const QRect line = rect().adjusted(0, metrics.height() / 2, -2, -2);
    painter.setPen(back.darker(150));
    painter.drawRect(line);
    painter.setPen(back.lighter(140));
    painter.drawRect(line.translated(1, 1));
    const QRect caption(6, 0, metrics.horizontalAdvance(title()) + 4, metrics.height());
    painter.fillRect(caption, back);
    painter.setPen(palette().color(QPalette::WindowText));
    painter.drawText(caption.adjusted(2, 0, 0, 0), Qt::AlignLeft | Qt::AlignVCenter, title());
  }
};

QGroupBox* MakeFrame(QWidget* parent, const char* name, const char* caption, QRect place) {
  auto* frame = new Frame(QString::fromUtf8(caption), parent);
  frame->setObjectName(QString::fromLatin1(name));
  frame->setGeometry(place);
  frame->setFont(OptionFont());
  frame->setAutoFillBackground(true);
  QPalette palette = frame->palette();
  palette.setColor(QPalette::Window, kWindowColour);
  palette.setColor(QPalette::WindowText, Qt::white);
  frame->setPalette(palette);
  return frame;
}

// Whether a check box shows its whole caption in `font`: the font's line
// fits the row's height; the caption's letters, on a line centred in the row
// as the style centres it and with its baseline on a whole device pixel, lie
// inside the row; and the caption fits beside the tick.
bool CaptionFits(const QCheckBox& box, const QFont& font) {
  QStyleOptionButton option;
  option.initFrom(&box);
  option.text = box.text();
  const QRectF room = box.style()->subElementRect(QStyle::SE_CheckBoxContents, &option, &box);
  const QFontMetricsF metrics(font, &box);
  QString shown = box.text();
  shown.replace(QStringLiteral("&&"), QStringLiteral("&"));
  const qreal scale = box.devicePixelRatioF();
  const qreal top = room.top() + (room.height() - metrics.height()) / 2;
  const qreal baseline = std::round((top + metrics.ascent()) * scale) / scale;
  const QRectF ink = metrics.tightBoundingRect(shown).translated(0, baseline);
  return metrics.height() <= room.height() && ink.top() >= room.top() &&
         ink.bottom() <= room.top() + room.height() &&
         metrics.horizontalAdvance(shown) <= room.width();
}

// The option font where the caption fits its row; otherwise the largest
// size, a quarter point at a time, at which it does. The rows are as
// designed, but the font standing in for the designed one, and so its line
// height, differs from machine to machine.
void FitCaption(QCheckBox& box) {
  constexpr qreal kSmallestPoints = 4;
  QFont font = box.font();
  if (CaptionFits(box, font)) return;
  while (font.pointSizeF() - 0.25 >= kSmallestPoints) {
    font.setPointSizeF(font.pointSizeF() - 0.25);
    if (CaptionFits(box, font)) break;
  }
  box.setFont(font);
}

void AddCheckBoxes(QGroupBox* frame, const CheckBoxPlace* first, const CheckBoxPlace* last) {
  for (const CheckBoxPlace* place = first; place != last; ++place) {
    // QCheckBox has no mnemonic-free mode; the only "&" in the captions is
    // the doubled one, which shows as a single "&".
    auto* box = new QCheckBox(QString::fromUtf8(place->caption), frame);
    box->setObjectName(QString::fromLatin1(place->name));
    box->setGeometry(TwipRect(place->left, place->top, place->width, place->height));
    box->setTristate(false);
    box->setCheckState(Qt::Unchecked);
    FitCaption(*box);
  }
}

// Each button is created from its stored property set, which holds only its
// caption and font; the window gives it its place and size.
Command* MakeButton(QWidget* parent, const char* name, const char* caption, QRect place) {
  PropertyBag stored;
  stored.WriteProperty(QStringLiteral("Caption"), QString::fromUtf8(caption));
  stored.WriteProperty(QStringLiteral("Font"), ButtonFont());
  auto* button =
      qobject_cast<Command*>(CreateControl(QString::fromLatin1(kCommandProgId), parent, &stored));
  if (button == nullptr) throw std::logic_error("the button control is not registered");
  button->setObjectName(QString::fromLatin1(name));
  button->setGeometry(place);
  return button;
}

// One conversion over the real files.
void RunRemoveHTML(ProcessState& state, OptionBoxes& boxes, Prompter& prompter) {
  PosixFileSystem files;
  const OptionValues options = ReadOptions(boxes);
  JobContext ctx{*state.oRemover, options, files, prompter};
  (void)RemoveHTML({state.sInputFile, state.sOutputFile, state.layout}, ctx);
}

// The process ends here; nothing else runs, open files are closed by the
// system.
[[noreturn]] void terminateProcess() {
  std::fflush(nullptr);
  ::_exit(0);
}

// A chosen path as a tooltip. Tooltips take text that looks like mark-up as
// mark-up, so such a path is handed over escaped.
QString ChoiceTip(const std::string& path) {
  if (path.empty()) return QString::fromLatin1(kNoFileChosen);
  const QString text = QString::fromStdString(path);
  return Qt::mightBeRichText(text) ? Qt::convertFromPlainText(text, Qt::WhiteSpaceNoWrap) : text;
}

}  // namespace

std::string TitleFromVersion() {
  return std::string(build_info::kProductName) + " v" + std::to_string(build_info::kMajor) + "." +
         std::to_string(build_info::kMinor) + " Build " + std::to_string(build_info::kRevision);
}

frmMain::frmMain(ProcessState& state, SettingsStore& settings, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                          Qt::WindowCloseButtonHint),
      state_(state),
      settings_(settings),
      runJob_(&RunRemoveHTML),
      shellOpen_(&ShellOpen),
      terminate_(&terminateProcess) {
  InitWindowResources();
  background_ = QPixmap(QStringLiteral(":/sievetext/background.png"));
  createControls();
  setAcceptDrops(true);
  setTabOrder();
  connectControls();
  options_ = std::make_unique<CheckBoxOptions>(*this);
  ownPrompter_ = std::make_unique<QtPrompter>(this);
  ownChooser_ = std::make_unique<DialogFileChooser>(this);
  prompter_ = ownPrompter_.get();
  chooser_ = ownChooser_.get();
  Form_Load();
}

frmMain::~frmMain() = default;

void frmMain::createControls() {
  setObjectName(QStringLiteral("frmMain"));
  setWindowTitle(QString::fromUtf8(build_info::kProductName));
  setFixedSize(TwipsToPixels(kClientWidthTwips), TwipsToPixels(kClientHeightTwips));
  setWindowIcon(QIcon(QStringLiteral(":/sievetext/sievetext.png")));
  QPalette palette = this->palette();
  palette.setColor(QPalette::Window, kWindowColour);
  setPalette(palette);

  Frame1_ = MakeFrame(this, "Frame1", "Options", TwipRect(60, 30, 4425, 2265));
  AddCheckBoxes(Frame1_, std::begin(kFrame1Boxes), std::end(kFrame1Boxes));
  chkLayout_ = Frame1_->findChild<QCheckBox*>(QStringLiteral("chkLayout"));
  chkLayout_->setToolTip(QString::fromUtf8(kLayoutHelp));
  chkLayout_->setAccessibleDescription(QString::fromUtf8(kLayoutHelp));
  Frame2_ = MakeFrame(this, "Frame2", "Whitespace removal", TwipRect(30, 2310, 4455, 1185));
  AddCheckBoxes(Frame2_, std::begin(kFrame2Boxes), std::end(kFrame2Boxes));

  cmdSelectInput_ =
      MakeButton(this, "cmdSelectInput", "Select Input File", TwipRect(4590, 120, 2115, 525));
  cmdSelectOutput_ =
      MakeButton(this, "cmdSelectOutput", "Select Output File", TwipRect(4590, 720, 2115, 525));
  cmdRemoveHTML_ =
      MakeButton(this, "cmdRemoveHTML", "Remove HTML", TwipRect(4590, 1440, 2115, 765));
  cmdReadme_ = MakeButton(this, "cmdReadme", "Readme.txt", TwipRect(4620, 2400, 2085, 495));
  cmdWebsite_ = MakeButton(this, "cmdWebsite", "Visit Website", TwipRect(4620, 2970, 2085, 525));

  // The navy rectangle lies under the notice and shows as an edge below and
  // to the left of it.
  Shape1_ = new QWidget(this);
  Shape1_->setObjectName(QStringLiteral("Shape1"));
  Shape1_->setGeometry(TwipRect(30, 3630, 2715, 255));
  Shape1_->setAutoFillBackground(true);
  QPalette shapePalette = Shape1_->palette();
  shapePalette.setColor(QPalette::Window, kShadowColour);
  Shape1_->setPalette(shapePalette);

  Text1_ = new QLineEdit(QString::fromUtf8(kNotice), this);
  Text1_->setObjectName(QStringLiteral("Text1"));
  Text1_->setGeometry(TwipRect(90, 3570, 2745, 255));
  Text1_->setFont(NoticeFont());
  Text1_->setReadOnly(true);
  // A file dropped on the notice is the window's, like a drop anywhere else.
  Text1_->setAcceptDrops(false);
  Text1_->setCursorPosition(0);
  QPalette textPalette = Text1_->palette();
  textPalette.setColor(QPalette::Base, kNoticeColour);
  textPalette.setColor(QPalette::Text, Qt::black);
  Text1_->setPalette(textPalette);
  Shape1_->lower();
}

void frmMain::setTabOrder() {
  QWidget* previous = nullptr;
  for (const char* name : kTabOrder) {
    auto* widget = findChild<QWidget*>(QString::fromLatin1(name));
    if (previous != nullptr) QWidget::setTabOrder(previous, widget);
    previous = widget;
  }
}

void frmMain::connectControls() {
  connect(cmdSelectInput_, &Command::Click, this, &frmMain::cmdSelectInput_Click);
  connect(cmdSelectOutput_, &Command::Click, this, &frmMain::cmdSelectOutput_Click);
  connect(cmdRemoveHTML_, &Command::Click, this, &frmMain::cmdRemoveHTML_Click);
  connect(cmdReadme_, &Command::Click, this, &frmMain::cmdReadme_Click);
  connect(cmdWebsite_, &Command::Click, this, &frmMain::cmdWebsite_Click);
}

void frmMain::Form_Load() {
  setWindowTitle(QString::fromStdString(TitleFromVersion()));
  SetButtons(*this, true, true);
  // The input may come chosen already, from the command line.
  showChoices();
}

void frmMain::showChoices() {
  cmdSelectInput_->setToolTip(ChoiceTip(state_.sInputFile));
  cmdSelectOutput_->setToolTip(ChoiceTip(state_.sOutputFile));
}

bool frmMain::layoutMode() const { return chkLayout_->isChecked(); }

void frmMain::setLayoutMode(bool layout) { chkLayout_->setChecked(layout); }

void frmMain::yieldToEvents() { QCoreApplication::processEvents(); }

void frmMain::cmdSelectInput_Click() {
  if (std::optional<std::string> chosen = chooser_->chooseInput()) state_.sInputFile = *chosen;
  showChoices();
}

void frmMain::cmdSelectOutput_Click() {
  if (std::optional<std::string> chosen = chooser_->chooseOutput()) state_.sOutputFile = *chosen;
  showChoices();
}

void frmMain::cmdRemoveHTML_Click() {
  // The engine yields to the event loop, so a second click can arrive while a
  // conversion runs; it is ignored.
  if (converting_) return;
  converting_ = true;
  setCursor(Qt::BusyCursor);
  struct Restore {
    frmMain* window;
    ~Restore() {
      window->unsetCursor();
      window->converting_ = false;
    }
  } restore{this};
  // The engine lets the window repaint and answer while it converts.
  std::optional<EngineHooks> hooks;
  if (state_.oRemover) hooks.emplace(*state_.oRemover, &frmMain::yieldToEvents, nullptr);
  state_.layout = chkLayout_->isChecked();
  runJob_(state_, *options_, *prompter_);
}

void frmMain::cmdReadme_Click() {
  const std::string path = state_.sAppPath + kReadmeName;
  const std::optional<QString> text = ReadReadme(path);
  if (!text) {
    prompter_->say(std::string(kReadmeOpenFailed) + "\n" + path);
    return;
  }
  if (!readme_) readme_ = new ReadmeViewer(this);
  readme_->present(*text);
}

void frmMain::cmdWebsite_Click() { openOrSay(kWebsiteAddress, kWebsiteOpenFailed); }

void frmMain::openOrSay(const std::string& target, const char* failure) {
  // The failure may be reported later, from the event loop.
  QPointer<frmMain> self(this);
  shellOpen_(target, [self, target, failure] {
    if (self) self->prompter_->say(std::string(failure) + "\n" + target);
  });
}

namespace {

// The input file a drag offers, when it may be taken as a copy or a link;
// the event is then accepted as that, whatever the source proposed.
std::optional<std::string> TakeDrop(QDropEvent& event) {
  const Qt::DropAction action = KeptDropAction(event.possibleActions());
  std::optional<std::string> file;
  if (action != Qt::IgnoreAction && event.mimeData()) file = DroppedInputFile(*event.mimeData());
  if (!file) {
    event.ignore();
    return std::nullopt;
  }
  event.setDropAction(action);
  event.accept();
  return file;
}

}  // namespace

void frmMain::dragEnterEvent(QDragEnterEvent* event) { (void)TakeDrop(*event); }

void frmMain::dragMoveEvent(QDragMoveEvent* event) { (void)TakeDrop(*event); }

void frmMain::dropEvent(QDropEvent* event) {
  const std::optional<std::string> file = TakeDrop(*event);
  if (!file) return;
  state_.sInputFile = *file;
  showChoices();
}

void frmMain::EndProgram() {
  if (ending_) return;
  ending_ = true;
  WithLayoutKey settings(settings_, chkLayout_->isChecked());
  sievetext::EndProgram(state_, *options_, settings, converting_);
  // A conversion may be in the middle of writing its output: its temporary
  // file goes, and the old output stays as it was.
  RemoveLiveTemporaries();
  terminate_();
}

void frmMain::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), kWindowColour);
  // The mosaic is larger than the window and drawn unscaled from the corner.
  painter.drawPixmap(0, 0, background_);
}

void frmMain::closeEvent(QCloseEvent* event) {
  event->accept();
  EndProgram();
}

}  // namespace sievetext
