#include "app/frmMain.h"

#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QComboBox>
#include <QGroupBox>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QToolButton>

#include "app/Controls.h"
#include "reader/EntryLine.h"
#include "reader/FormTexts.h"
#include "reader/Messages.h"

// The pictures live in the library's resources, which a static link would otherwise drop.
static void InitResources() {
  Q_INIT_RESOURCE(brindle);
}

namespace brindle::app {
namespace {

namespace texts = reader::texts;

// The client area of the window, in twips.
constexpr int kClientWidth = 9795;
constexpr int kClientHeight = 5895;
static_assert(kClientWidth % 15 == 0 && kClientHeight % 15 == 0);

// Ctrl+C types this character.
constexpr int kCtrlC = 3;

QRect TwipsRect(int left, int top, int width, int height) {
  return QRect(Twips(left), Twips(top), Twips(width), Twips(height));
}

QPoint TwipsPoint(int x, int y) {
  return QPoint(Twips(x), Twips(y));
}

// Courier New, the fixed-pitch font that keeps the entry lines' columns under their headings.
QFont CourierNew(qreal points, bool bold = false) {
  QFont font(QStringLiteral("Courier New"));
  font.setStyleHint(QFont::TypeWriter);
  font.setPointSizeF(points);
  font.setWeight(bold ? QFont::Bold : QFont::Normal);
  return font;
}

// The dialog font of the window's design (8-point sans serif, Arial's width); controls without a
// font of their own use it, so captions fit their buttons as designed. Arial's metric twin
// stands in where Arial is missing.
QFont DialogFont() {
  QFont font;
  font.setFamilies({QStringLiteral("Arial"), QStringLiteral("Liberation Sans")});
  font.setStyleHint(QFont::SansSerif);
  font.setPointSizeF(8.25);
  return font;
}

QLabel* MakeLabel(QWidget* container, const char* name, const char* text, QRect geometry) {
  auto* label = new QLabel(QString::fromLatin1(text), container);
  label->setObjectName(QString::fromLatin1(name));
  label->setGeometry(geometry);
  label->setFont(CourierNew(9.75));
  label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  return label;
}

// A source button: a push button that stays down while its source is chosen, with its picture
// above its caption. The buttons of one container exclude each other.
QToolButton* MakeSourceButton(QWidget* container, const char* name, const char* text,
                              const QString& icon, QRect geometry) {
  auto* button = new QToolButton(container);
  button->setObjectName(QString::fromLatin1(name));
  button->setText(QString::fromLatin1(text));
  button->setIcon(QIcon(icon));
  button->setIconSize(QSize(32, 32));
  button->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
  button->setCheckable(true);
  button->setAutoExclusive(true);
  button->setFocusPolicy(Qt::StrongFocus);
  button->setGeometry(geometry);
  return button;
}

QListWidget* MakeList(QListWidget* list, const char* name, QRect geometry) {
  list->setObjectName(QString::fromLatin1(name));
  list->setGeometry(geometry);
  list->setSelectionMode(QAbstractItemView::SingleSelection);
  list->setUniformItemSizes(true);
  list->setTextElideMode(Qt::ElideNone);
  return list;
}

}  // namespace

int KeyAscii(const QKeyEvent& event) {
  const auto modifiers = event.modifiers() & (Qt::ControlModifier | Qt::AltModifier);
  if (modifiers == Qt::ControlModifier && event.key() >= Qt::Key_A && event.key() <= Qt::Key_Z) {
    return event.key() - Qt::Key_A + 1;
  }
  const QString text = event.text();
  return text.isEmpty() ? 0 : text.front().unicode();
}

frmMain::frmMain(Prompts& prompts, DriveSide drives, QWidget* parent)
    : QWidget(parent),
      prompts_(prompts),
      drives_(std::move(drives)),
      reader_(*this,
              [this](std::int32_t lba, std::int16_t count) { return readDrive(lba, count); }),
      guard_([] { QApplication::setOverrideCursor(Qt::WaitCursor); },
             [] {
               // Input that arrived while the action ran is dropped here, not replayed.
               QCoreApplication::processEvents();
               QApplication::restoreOverrideCursor();
             }) {
  InitResources();
  setObjectName(QStringLiteral("frmMain"));
  setWindowTitle(QString::fromLatin1(texts::kTitle));
  setWindowIcon(QIcon(QStringLiteral(":/icons/cdrom.png")));
  setFixedSize(Twips(kClientWidth), Twips(kClientHeight));
  setFont(DialogFont());
  createControls();
  orderTabs();
  connectEvents();
  // The window previews every key typed in it, before the focused control.
  qApp->installEventFilter(this);
  Form_Load();
}

frmMain::~frmMain() {
  qApp->removeEventFilter(this);
}

void frmMain::createControls() {
  Frame1 = new QGroupBox(this);
  Frame1->setObjectName(QStringLiteral("Frame1"));
  Frame1->setGeometry(TwipsRect(60, 0, 9675, 5835));

  Label1 = MakeLabel(Frame1, "Label1", texts::kLabelImage, TwipsRect(120, 180, 1320, 240));
  // "CD/DVD-ROM Drive:" is wider than the label: it breaks between words, so the first line
  // shows whole words rather than a letter cut in half.
  Label1->setWordWrap(true);

  txtFile = new QLineEdit(QString::fromLatin1(texts::kNoFile), Frame1);
  txtFile->setObjectName(QStringLiteral("txtFile"));
  txtFile->setGeometry(TwipsRect(120, 480, 6495, 315));
  txtFile->setFont(CourierNew(9.75));
  txtFile->setEnabled(false);

  cbDrives = new QComboBox(Frame1);
  cbDrives->setObjectName(QStringLiteral("cbDrives"));
  cbDrives->setGeometry(TwipsRect(120, 480, 6495, 345));
  cbDrives->setFont(CourierNew(9));
  cbDrives->setEditable(false);
  cbDrives->setVisible(false);

  cmdOpen = new QPushButton(QString::fromLatin1(texts::kOpenImage), Frame1);
  cmdOpen->setObjectName(QStringLiteral("cmdOpen"));
  cmdOpen->setGeometry(TwipsRect(6660, 480, 495, 315));

  Line1 = new Line(Frame1, TwipsPoint(120, 1020), TwipsPoint(7140, 1020));
  Line1->setObjectName(QStringLiteral("Line1"));

  Label2 = MakeLabel(Frame1, "Label2", texts::kHeadingName, TwipsRect(120, 1200, 960, 240));
  Label3 = MakeLabel(Frame1, "Label3", texts::kHeadingType, TwipsRect(4245, 1200, 480, 240));
  Label4 = MakeLabel(Frame1, "Label4", texts::kHeadingSize, TwipsRect(5805, 1200, 960, 240));

  lstFiles = MakeList(new FileList(Frame1), "lstFiles", TwipsRect(120, 1440, 7035, 3870));
  lstFiles->setFont(CourierNew(9.75));

  Command2 = new QPushButton(QString::fromLatin1(texts::kExtractAll), Frame1);
  Command2->setObjectName(QStringLiteral("Command2"));
  Command2->setGeometry(TwipsRect(120, 5400, 2895, 315));

  Frame2 = new QGroupBox(Frame1);
  Frame2->setObjectName(QStringLiteral("Frame2"));
  Frame2->setGeometry(TwipsRect(7260, 120, 2295, 5205));

  Label5 = MakeLabel(Frame2, "Label5", texts::kSource, TwipsRect(120, 180, 840, 240));
  optDiscImage =
      MakeSourceButton(Frame2, "optDiscImage", texts::kSourceImage,
                       QStringLiteral(":/icons/discimage.png"), TwipsRect(120, 480, 975, 915));
  optCDROM = MakeSourceButton(Frame2, "optCDROM", texts::kSourceDrive,
                              QStringLiteral(":/icons/cdrom.png"), TwipsRect(1200, 480, 975, 915));
  optDiscImage->setChecked(true);

  Line2 = new Line(Frame2, TwipsPoint(120, 1620), TwipsPoint(2160, 1620));
  Line2->setObjectName(QStringLiteral("Line2"));

  Label7 = MakeLabel(Frame2, "Label7", texts::kDiscSizeLabel, TwipsRect(120, 1800, 1200, 240));
  lbDiscSize = MakeLabel(Frame2, "lbDiscSize", texts::kNoDiscSize, TwipsRect(1440, 1800, 720, 240));
  lbDiscSize->setFont(CourierNew(9.75, true));
  lbDiscSize->setAlignment(Qt::AlignRight | Qt::AlignTop);

  // The directory stack lives in a list that is never shown.
  lstHistory = MakeList(new QListWidget(Frame2), "lstHistory", TwipsRect(120, 4080, 2055, 1035));
  lstHistory->setVisible(false);
}

void frmMain::orderTabs() {
  // The tab order of the focusable controls, lowest tab index first.
  const QWidget* order[] = {lstFiles, cmdOpen,    txtFile,      cbDrives,
                            Command2, lstHistory, optDiscImage, optCDROM};
  for (std::size_t i = 1; i < std::size(order); ++i) {
    setTabOrder(const_cast<QWidget*>(order[i - 1]), const_cast<QWidget*>(order[i]));
  }
  lstFiles->setFocus();
}

void frmMain::connectEvents() {
  connect(optDiscImage, &QToolButton::toggled, this, [this](bool on) {
    if (on) optDiscImage_Click();
  });
  connect(optCDROM, &QToolButton::toggled, this, [this](bool on) {
    if (on) optCDROM_Click();
  });
  connect(cmdOpen, &QPushButton::clicked, this, [this] { cmdOpen_Click(); });
  connect(lstFiles, &QListWidget::itemDoubleClicked, this, [this] { lstFiles_DblClick(); });
  connect(Command2, &QPushButton::clicked, this, [this] { Command2_Click(); });
}

void frmMain::Form_Load() {
  lstFiles->clear();
  cbDrives->clear();
  source_ = reader::SectorSource::Image;
}

void frmMain::optDiscImage_Click() {
  guard_.run([this] { showImageSource(); });
}

void frmMain::showImageSource() {
  Label1->setText(QString::fromLatin1(texts::kLabelImage));
  cmdOpen->setText(QString::fromLatin1(texts::kOpenImage));
  cbDrives->setVisible(false);
  txtFile->setText(QString::fromLatin1(texts::kNoFile));
  txtFile->setVisible(true);
  lstFiles->clear();
  source_ = reader::SectorSource::Image;
}

void frmMain::optCDROM_Click() {
  guard_.run([this] { showDriveSource(); });
}

void frmMain::showDriveSource() {
  Label1->setText(QString::fromLatin1(texts::kLabelDrive));
  cmdOpen->setText(QString::fromLatin1(texts::kOpenDrive));
  cbDrives->setVisible(true);
  if (tag().empty() && drives_.SelectTransport) drives_.SelectTransport();
  txtFile->setVisible(false);
  lstFiles->clear();
  source_ = reader::SectorSource::Drive;
}

void frmMain::Form_KeyPress(int keyascii) {
  if (keyascii != kCtrlC) return;
  QClipboard* clipboard = QGuiApplication::clipboard();
  clipboard->clear();
  const int selected = currentFile();
  const std::string line = selected >= 0 ? fileLine(selected) : std::string();
  clipboard->setText(QString::fromLatin1(reader::EntryName(line)));
}

void frmMain::cmdOpen_Click() {
  guard_.run([this] { reader_.cmdOpen_Click(); });
}
void frmMain::lstFiles_DblClick() {
  guard_.run([this] { reader_.lstFiles_DblClick(); });
}
void frmMain::Command2_Click() {
  guard_.run([this] { reader_.Command2_Click(); });
}

void frmMain::MessagePass() {
  QCoreApplication::processEvents();
}

bool frmMain::eventFilter(QObject* watched, QEvent* event) {
  if (!watched->isWidgetType()) return false;
  auto* widget = static_cast<QWidget*>(watched);
  if (widget != this && !isAncestorOf(widget)) return false;  // dialogs keep their input
  // While an action runs, no click or key reaches the window.
  if (guard_.busy() && event->isInputEvent()) return true;
  if (event->type() == QEvent::KeyPress) {
    Form_KeyPress(KeyAscii(*static_cast<QKeyEvent*>(event)));
  }
  return false;  // the focused control still gets the key
}

void frmMain::closeEvent(QCloseEvent* event) {
  // The action still uses the window; it closes once the action is done.
  if (guard_.busy()) {
    event->ignore();
    return;
  }
  QWidget::closeEvent(event);
}

void frmMain::paintEvent(QPaintEvent* event) {
  QWidget::paintEvent(event);
  if (!painted_) {
    painted_ = true;
    emit firstPainted();
  }
}

sector::SectorData frmMain::readDrive(std::int32_t lba, std::int16_t count) {
  if (drives_.readDrive) return drives_.readDrive(lba, count);
  showError(reader::messages::kNoDriveSelected);
  return {};
}

}  // namespace brindle::app
