#include "ui/frmmain.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFileInfo>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QSessionManager>
#include <QSignalBlocker>
#include <QSystemTrayIcon>
#include <QTreeWidget>
#include <functional>

#include "app/startup.h"
#include "ui/dialog.h"
#include "ui/lamp.h"
#include "ui/mqtt_dialog.h"
#include "ui/record_window.h"
#include "ui/rename_dialog.h"
#include "ui/tab_strip.h"
#include "ui/tray.h"
#include "ui/ui_support.h"
#include "ui/week_view.h"

namespace {

// Runs an action before the watched object handles one of the given events.
class EventHook : public QObject {
 public:
  EventHook(std::initializer_list<QEvent::Type> types, std::function<void()> action,
            QObject* parent)
      : QObject(parent), types_(types), action_(std::move(action)) {}
  bool eventFilter(QObject*, QEvent* e) override {
    if (types_.contains(e->type())) action_();
    return false;
  }

 private:
  QList<QEvent::Type> types_;
  std::function<void()> action_;
};

// Keys pressed in the watched object go to an action first; it returns whether it took the key.
class KeyHook : public QObject {
 public:
  KeyHook(std::function<bool(const QKeyEvent&)> action, QObject* parent)
      : QObject(parent), action_(std::move(action)) {}
  bool eventFilter(QObject*, QEvent* e) override {
    return e->type() == QEvent::KeyPress && action_(*static_cast<QKeyEvent*>(e));
  }

 private:
  std::function<bool(const QKeyEvent&)> action_;
};

const char* const kDesignTabs[16] = {
    QT_TRANSLATE_NOOP("Frmmain", "第一路"),   QT_TRANSLATE_NOOP("Frmmain", "第二路"),
    QT_TRANSLATE_NOOP("Frmmain", "第三路"),   QT_TRANSLATE_NOOP("Frmmain", "第四路"),
    QT_TRANSLATE_NOOP("Frmmain", "第五路"),   QT_TRANSLATE_NOOP("Frmmain", "第六路"),
    QT_TRANSLATE_NOOP("Frmmain", "第七路"),   QT_TRANSLATE_NOOP("Frmmain", "第八路"),
    QT_TRANSLATE_NOOP("Frmmain", "第九路"),   QT_TRANSLATE_NOOP("Frmmain", "第十路"),
    QT_TRANSLATE_NOOP("Frmmain", "第十一路"), QT_TRANSLATE_NOOP("Frmmain", "第十二路"),
    QT_TRANSLATE_NOOP("Frmmain", "第十三路"), QT_TRANSLATE_NOOP("Frmmain", "第十四路"),
    QT_TRANSLATE_NOOP("Frmmain", "第十五路"), QT_TRANSLATE_NOOP("Frmmain", "第十六路")};
// Lamp i: its place in the four rows of four.
const int kLampX[4][4] = {{7, 35, 63, 91}, {8, 35, 64, 91}, {8, 35, 64, 88}, {8, 35, 64, 88}};
const int kLampY[4] = {88, 136, 192, 240};
// The numbers above each row of lamps: their top, and how far they may reach past a lamp's sides.
const int kNumberY[4] = {64, 112, 168, 216};
const int kNumberMargin = 3;
// The lamp on "远程", in pixels.
const int kMqttLamp = 10;

}  // namespace

Frmmain::Frmmain(AppLogic& logic, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint |
                          Qt::MSWindowsFixedSizeDialogHint),
      logic_(logic) {
  setObjectName(QStringLiteral("Frmmain"));
  setWindowTitle(tr("PC智能Tavrel"));
  setFixedSize(681, 366);
  setWindowIcon(tavrel_icon());

  Label1 = label(QStringLiteral("Label1"), tr("继电器板时间控制程序"), 21, 7, 178, 25);
  Label5 = label(QStringLiteral("Label5"), tr("串口号"), 200, 7, 52, 25);
  CmbCom = new QComboBox(this);
  CmbCom->setObjectName(QStringLiteral("CmbCom"));
  for (int n = 1; n <= 20; ++n) CmbCom->addItem(QStringLiteral("Com%1").arg(n));
  // The box and each of its items tell where the port number leads now: a link in dosdevices/
  // comes and goes, so the tips are renewed whenever they can be seen.
  connect(CmbCom, qOverload<int>(&QComboBox::currentIndexChanged), this,
          &Frmmain::showWhereComLeads);
  auto* renewTips = new EventHook(
      {QEvent::ToolTip, QEvent::Show}, [this] { showWhereComLeads(); }, this);
  CmbCom->installEventFilter(renewTips);
  CmbCom->view()->installEventFilter(renewTips);  // the list popping up
  installEventFilter(renewTips);                  // the window coming out of the tray
  showWhereComLeads();
  place(CmbCom, 256, 7, 64, 21);
  // The window's own face at 9 points: "Com10".."Com20" fit the box whole.
  QFont portFont = song_bold(9);
  portFont.setBold(false);
  CmbCom->setFont(portFont);
  discard_typing(CmbCom);
  CmdOpen = new QPushButton(tr("打开", "the link"), this);
  CmdOpen->setObjectName(QStringLiteral("CmdOpen"));
  place(CmdOpen, 328, 7, 43, 22);
  ChkOpen = new QCheckBox(tr("自动打开串口"), this);
  ChkOpen->setObjectName(QStringLiteral("ChkOpen"));
  place(ChkOpen, 376, 8, 97, 25);
  ChkRun = new QCheckBox(tr("开机自启动"), this);
  ChkRun->setObjectName(QStringLiteral("ChkRun"));
  place(ChkRun, 472, 8, 89, 25);
  Label6 = label(QStringLiteral("Label6"), tr("地址"), 560, 8, 38, 18);
  CmbID = new QComboBox(this);
  CmbID->setObjectName(QStringLiteral("CmbID"));
  place(CmbID, 600, 7, 71, 21);
  discard_typing(CmbID);

  Label3 = label(QStringLiteral("Label3"), tr("状态监视"), 24, 40, 73, 25);
  SSTab2 = new TabStrip(16, 8, this);
  SSTab2->setObjectName(QStringLiteral("SSTab2"));
  for (int i = 0; i < 16; ++i) SSTab2->setTabText(i, tr(kDesignTabs[i]));
  place(SSTab2, 128, 40, 544, 51);
  // Each lamp's number stands centred over it whatever the font's widths.
  const std::pair<std::array<QLabel*, 4>*, QString> numberRows[4] = {
      {&Label4, QStringLiteral("Label4")},
      {&Label2, QStringLiteral("Label2")},
      {&Label7, QStringLiteral("Label7")},
      {&Label8, QStringLiteral("Label8")}};
  for (int i = 0; i < 16; ++i) {
    const auto& [row, name] = numberRows[i / 4];
    QLabel* n =
        label(QStringLiteral("%1_%2").arg(name).arg(i % 4), QString::number(i + 1),
              kLampX[i / 4][i % 4] - kNumberMargin, kNumberY[i / 4], 22 + 2 * kNumberMargin, 25);
    n->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    (*row)[i % 4] = n;
  }
  for (int i = 0; i < 16; ++i) {
    Shape1[i] = new Lamp(this);
    Shape1[i]->setObjectName(QStringLiteral("Shape1_%1").arg(i));
    place(Shape1[i], kLampX[i / 4][i % 4], kLampY[i / 4], 22, 22);
  }

  List = new QTreeWidget(this);
  List->setObjectName(QStringLiteral("List"));
  List->setColumnCount(1);
  List->setHeaderLabels({tr("内容")});
  List->header()->setSectionResizeMode(QHeaderView::Stretch);  // the column fills the list
  List->setRootIsDecorated(false);
  List->setSelectionMode(QAbstractItemView::ExtendedSelection);
  List->setSelectionBehavior(QAbstractItemView::SelectRows);
  place(List, 128, 96, 425, 243);
  // Under the list: the current route's next switch, the link's state, the record and the broker.
  LabNext = label(QStringLiteral("LabNext"), QString(), 128, 342, 190, 20);
  // The link's state at the right of its box, a size smaller: clear of the next switch and of
  // 记录 whichever it reads.
  LabLink = label(QStringLiteral("LabLink"), QString(), 328, 343, 56, 20);
  LabLink->setFont(song_bold(10.5));
  LabLink->setAlignment(Qt::AlignRight | Qt::AlignTop);
  CmdRecord = button(QStringLiteral("CmdRecord"), tr("记录"), 390, 341, 49, 22);
  auto* cmdWeek = button(QStringLiteral("CmdWeek"), tr("一周"), 441, 341, 49, 22);
  CmdMqtt = button(QStringLiteral("CmdMqtt"), tr("远程"), 492, 341, 61, 22);
  CmdMqtt->setIconSize(QSize(kMqttLamp, kMqttLamp));

  ChkAuto = new QCheckBox(tr("自动功能允许"), this);
  ChkAuto->setObjectName(QStringLiteral("ChkAuto"));
  place(ChkAuto, 560, 93, 110, 18);
  ChkRestore = new QCheckBox(tr("恢复定时状态"), this);
  ChkRestore->setObjectName(QStringLiteral("ChkRestore"));
  place(ChkRestore, 560, 110, 110, 18);
  CmdAdd = button(QStringLiteral("CmdAdd"), tr("添加"), 560, 128, 92, 22);
  CmdDel = button(QStringLiteral("CmdDel"), tr("删除"), 560, 168, 92, 22);
  CmdDelAll = button(QStringLiteral("CmdDelAll"), tr("删除全部"), 560, 208, 92, 22);
  CmdIn = button(QStringLiteral("CmdIn"), tr("手动吸合"), 560, 248, 92, 22);
  CmdOut = button(QStringLiteral("CmdOut"), tr("手动断开"), 560, 288, 92, 26);
  CmdQuit = button(QStringLiteral("CmdQuit"), tr("退出"), 560, 336, 92, 22);
  CmdOpenFile = button(QStringLiteral("CmdOpenFile"), tr("打开", "an entry file"), 16, 272, 92, 22);
  CmdSave = button(QStringLiteral("CmdSave"), tr("保存"), 16, 304, 92, 22);
  CmdSaveAs = button(QStringLiteral("CmdSaveAs"), tr("另存"), 16, 336, 92, 22);

  // Never shown: the commands behind them are reached from code only.
  CmdDown = button(QStringLiteral("CmdDown"), tr("下载"), 560, 336, 92, 22);
  CmdDown->setEnabled(false);
  CmdOpenAll = button(QStringLiteral("CmdOpenAll"), tr("吸合所有"), -8, 240, 92, 29);
  CmdCloseAll = button(QStringLiteral("CmdCloseAll"), tr("断开所有"), -8, 240, 92, 29);
  LabDebug = label(QStringLiteral("LabDebug"), QString(), 72, 360, 537, 25);
  for (QWidget* w : std::initializer_list<QWidget*>{CmdDown, CmdOpenAll, CmdCloseAll, LabDebug})
    w->setVisible(false);

  dialog_ = new Dialog(logic_, this);
  mqtt_ = new MqttDialog(logic_, this);
  rename_ = new RenameDialog(this);
  SSTab2->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(SSTab2, &TabStrip::tabDoubleClicked, this, &Frmmain::renameRoute);
  connect(SSTab2, &QWidget::customContextMenuRequested, this,
          [this](const QPoint& at) { tabMenu(SSTab2->tabAt(at), at); });
  // From the keyboard: the Menu key or Shift+F10 opens the current tab's menu; in the list, Enter
  // or F2 edits the selected entry and Delete deletes it (with its question).
  SSTab2->installEventFilter(new KeyHook(
      [this](const QKeyEvent& k) {
        if (k.key() != Qt::Key_Menu &&
            !(k.key() == Qt::Key_F10 && k.modifiers() == Qt::ShiftModifier))
          return false;
        const int tab = SSTab2->currentIndex();
        tabMenu(tab, SSTab2->tabRect(tab).center());
        return true;
      },
      this));
  List->installEventFilter(new KeyHook(
      [this](const QKeyEvent& k) {
        if (k.key() == Qt::Key_Return || k.key() == Qt::Key_Enter || k.key() == Qt::Key_F2) {
          if (CmdAdd->isEnabled()) List_DblClick();
          return true;
        }
        if (k.key() != Qt::Key_Delete) return false;
        if (CmdDel->isEnabled()) CmdDel_Click();
        return true;
      },
      this));
  connect(List, &QTreeWidget::itemSelectionChanged, this, &Frmmain::showCmdDel);

  connect(CmbCom, qOverload<int>(&QComboBox::activated), &logic_, &AppLogic::CmbCom_Click);
  connect(CmbID, qOverload<int>(&QComboBox::activated), &logic_, &AppLogic::CmbID_Click);
  connect(CmdOpen, &QPushButton::clicked, &logic_, &AppLogic::CmdOpen_Click);
  connect(ChkAuto, &QCheckBox::clicked, &logic_, &AppLogic::setChkAuto);
  connect(ChkRestore, &QCheckBox::clicked, &logic_, [this](bool on) { logic_.setRestore(on); });
  connect(CmdRecord, &QPushButton::clicked, this, &Frmmain::CmdRecord_Click);
  connect(CmdMqtt, &QPushButton::clicked, this, &Frmmain::CmdMqtt_Click);
  connect(cmdWeek, &QPushButton::clicked, this, [this] {
    if (!week_) {
      week_ = new WeekView(logic_, this);
      connect(week_, &WeekView::routeChosen, this,
              [this](int r) { SSTab2->setCurrentIndex(r - 1); });
    }
    week_->show();
    week_->raise();
    week_->activateWindow();
  });
  connect(&logic_, &AppLogic::nextSwitchChanged, LabNext, &QLabel::setText);
  connect(SSTab2, &TabStrip::currentChanged, &logic_, &AppLogic::SSTab2_Click);
  connect(SSTab2, &TabStrip::currentChanged, this, [this] {
    if (record_ && record_->isVisible()) record_->refill();  // the new page's route
  });
  connect(CmdAdd, &QPushButton::clicked, this, &Frmmain::CmdAdd_Click);
  connect(CmdDel, &QPushButton::clicked, this, &Frmmain::CmdDel_Click);
  connect(CmdDelAll, &QPushButton::clicked, &logic_, &AppLogic::CmdDelAll_Click);
  connect(List, &QTreeWidget::itemDoubleClicked, this, &Frmmain::List_DblClick);
  connect(CmdIn, &QPushButton::clicked, this, [this] { tellNotDone(logic_.CmdIn_Click()); });
  connect(CmdOut, &QPushButton::clicked, this, [this] { tellNotDone(logic_.CmdOut_Click()); });
  connect(CmdOpenAll, &QPushButton::clicked, this,
          [this] { tellNotDone(logic_.CmdOpenAll_Click()); });
  connect(CmdCloseAll, &QPushButton::clicked, this,
          [this] { tellNotDone(logic_.CmdCloseAll_Click()); });
  connect(CmdOpenFile, &QPushButton::clicked, &logic_, &AppLogic::CmdOpenFile_Click);
  connect(CmdSave, &QPushButton::clicked, &logic_, &AppLogic::CmdSave_Click);
  connect(CmdSaveAs, &QPushButton::clicked, &logic_, &AppLogic::CmdSaveAs_Click);
  connect(CmdQuit, &QPushButton::clicked, this, &Frmmain::CmdQuit_Click);
  connect(CmdDown, &QPushButton::clicked, &logic_, &AppLogic::CmdDown_Click);
  connect(&logic_, &AppLogic::labDebugChanged, LabDebug, &QLabel::setText);

  connect(&logic_, &AppLogic::controlsChanged, this, &Frmmain::showControls);
  connect(&logic_, &AppLogic::listChanged, this, &Frmmain::showList);
  connect(&logic_, &AppLogic::lampsChanged, this, &Frmmain::showLamps);
  connect(qApp, &QGuiApplication::commitDataRequest, this, &Frmmain::commitData);
  showMqtt();
}

QPushButton* Frmmain::button(const QString& name, const QString& caption, int x, int y, int w,
                             int h) {
  auto* b = new QPushButton(caption, this);
  b->setObjectName(name);
  b->setFont(song_bold(14.25));
  place(b, x, y, w, h);
  return b;
}

QLabel* Frmmain::label(const QString& name, const QString& caption, int x, int y, int w, int h) {
  auto* l = new QLabel(caption, this);
  l->setObjectName(name);
  l->setFont(song_bold(12));
  l->setStyleSheet(QStringLiteral("color: black; background: transparent;"));
  l->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  place(l, x, y, w, h);
  return l;
}

void Frmmain::Form_Load() {
  // The icon first: whatever start-up has to tell, the program is already in the tray.
  tray_ = new Tray(this);
  const bool inTray = tray_->AddTrayIcon();
  connect(tray_, &Tray::recordRequested, this, &Frmmain::CmdRecord_Click);
  connect(tray_, &Tray::quitRequested, this, &Frmmain::CmdQuit_Click);
  connect(&logic_, &AppLogic::alertTold, tray_, &Tray::showAlert);
  for (int n = 1; n <= 16; ++n) CmbID->addItem(QString::number(n));
  showLamps();
  const ProfileFile names = logic_.settings().load();  // Name.ini, read once
  const bool firstStart =
      names.status() == ProfileFile::Status::Missing && !QFileInfo::exists(logic_.storePath());
  for (int i = 0; i < 16; ++i) SSTab2->setTabText(i, logic_.routeCaption(names, i + 1));
  const StartupChoices c = run_startup(logic_, names);
  {
    // The boxes show the address and port in use, also when the stored ones were unusable.
    const QSignalBlocker b1(CmbID), b2(CmbCom);
    CmbID->setCurrentIndex(logic_.nID() - 1);
    CmbCom->setCurrentIndex(logic_.nCom() - 1);
  }
  showWhereComLeads();
  ChkOpen->setChecked(c.open);
  ChkRun->setChecked(c.run);
  showControls();
  if (inTray) {
    hide();
    if (firstStart) tray_->tellRunsHere();  // nothing shows where the program went otherwise
  } else
    show();  // with no notification area a hidden window would have no way back
}

void Frmmain::CmdRecord_Click() {
  if (!record_)
    record_ = new RecordWindow(
        logic_.record(), [this] { return logic_.nPage(); }, logic_.entries(),
        [this] {
          const SettingsStore& settings = logic_.settings();
          const ProfileFile names = settings.load();
          QStringList out;
          for (int r = 1; r <= kRouteCount; ++r)
            out << (SettingsStore::stored(names, SettingsStore::routeKey(r)).trimmed().isEmpty()
                        ? QString()
                        : settings.ReadRouteName(names, r));
          return out;
        },
        this);
  record_->show();
  record_->raise();
  record_->activateWindow();
}

void Frmmain::CmdMqtt_Click() { mqtt_->exec(); }

void Frmmain::CmdQuit_Click() {
  if (!logic_.saveBeforeEnd()) return;
  logic_.CmdQuit_Click(ChkOpen->isChecked(), ChkRun->isChecked(),
                       QCoreApplication::applicationFilePath());
  quitting_ = true;
  QCoreApplication::quit();
}

void Frmmain::endNow() {
  quitting_ = true;
  QCoreApplication::quit();
}

void Frmmain::closeEvent(QCloseEvent* e) {
  if (quitting_) return;  // quitting closes every window: let it
  e->ignore();
  if (tray_ && QSystemTrayIcon::isSystemTrayAvailable()) {
    hide();  // the timetable goes on; the tray brings the window back
    tray_->tellKeepsRunning();
  } else {
    CmdQuit_Click();
  }
}

void Frmmain::commitData(QSessionManager& manager) {
  if (!logic_.modified()) return;
  const bool mayAsk = manager.allowsInteraction();
  if (!logic_.saveBeforeEnd(mayAsk)) manager.cancel();
  if (mayAsk) manager.release();
}

void Frmmain::renameRoute(int tab) {
  const int route = tab + 1;
  const SettingsStore& settings = logic_.settings();
  const ProfileFile names = settings.load();
  const bool named = !SettingsStore::stored(names, SettingsStore::routeKey(route)).isNull();
  const std::optional<QString> name =
      rename_->ask(route, named ? settings.ReadRouteName(names, route) : QString(),
                   [&names](const QString& text) { return SettingsStore::storable(names, text); });
  if (name && logic_.renameRoute(route, *name))
    SSTab2->setTabText(tab, logic_.routeCaption(settings.load(), route));
}

void Frmmain::tabMenu(int tab, const QPoint& at) {
  if (tab < 0) return;
  QMenu menu(this);
  connect(menu.addAction(tr("重命名")), &QAction::triggered, this,
          [this, tab] { renameRoute(tab); });
  menu.exec(SSTab2->mapToGlobal(at));
}

void Frmmain::showCmdDel() {
  CmdDel->setEnabled(logic_.enabled(AppLogic::CmdDel) && !List->selectedItems().isEmpty());
}

void Frmmain::tellNotDone(Switchboard::Result r) {
  if (r == Switchboard::Result::LinkClosed) logic_.prompt().message(tr("串口未打开"));
  if (r == Switchboard::Result::NotTakenOver) logic_.prompt().message(tr("板无应答"));
}

void Frmmain::showTitle() {
  setWindowTitle(logic_.modified() ? tr("PC智能Tavrel") + QStringLiteral(" *")
                                   : tr("PC智能Tavrel"));
}

void Frmmain::showControls() {
  showTitle();
  CmdOpen->setText(logic_.cmdOpenCaption());
  const QSignalBlocker block(ChkAuto), block2(ChkRestore);
  ChkAuto->setChecked(logic_.chkAuto());
  ChkRestore->setChecked(logic_.restore());
  LabLink->setText(logic_.linkText());
  // A record that cannot be written: "记录" in red, the reason and the folder in its tip.
  const QString recordText = logic_.recordText();
  QPalette recordLook;
  if (!recordText.isEmpty()) recordLook.setColor(QPalette::ButtonText, Qt::red);
  CmdRecord->setPalette(recordLook);
  CmdRecord->setToolTip(recordText.isEmpty()
                            ? QString()
                            : recordText + QLatin1Char('\n') + logic_.record().logFolder());
  showMqtt();
  if (tray_) tray_->showLink(logic_);
  const std::pair<QWidget*, AppLogic::Control> controls[] = {
      {CmbCom, AppLogic::CmbCom},           {CmbID, AppLogic::CmbID},
      {CmdOpenFile, AppLogic::CmdOpenFile}, {CmdSave, AppLogic::CmdSave},
      {CmdSaveAs, AppLogic::CmdSaveAs},     {CmdAdd, AppLogic::CmdAdd},
      {CmdDel, AppLogic::CmdDel},           {CmdDelAll, AppLogic::CmdDelAll}};
  for (const auto& [w, c] : controls) w->setEnabled(logic_.enabled(c));
  showCmdDel();
}

void Frmmain::showMqtt() {
  const MqttSettings& s = logic_.mqttSettings();
  const MqttClient::State state = logic_.mqttState();
  const int look = logic_.mqttTroubled()            ? 1
                   : state == MqttClient::Connected ? 2
                   : state == MqttClient::Trying    ? 1
                                                    : 0;
  if (look != mqttLook_) {
    mqttLook_ = look;
    CmdMqtt->setIcon(round_lamp(lamp_look(look), kMqttLamp));
  }
  QString tip = logic_.mqttText();
  if (s.enabled()) tip += QLatin1Char('\n') + s.host + QLatin1Char(':') + QString::number(s.port);
  CmdMqtt->setToolTip(tip);
}

void Frmmain::showWhereComLeads() {
  for (int i = 0; i < CmbCom->count(); ++i)
    CmbCom->setItemData(i, logic_.whereComLeads(i + 1), Qt::ToolTipRole);
  CmbCom->setToolTip(CmbCom->itemData(CmbCom->currentIndex(), Qt::ToolTipRole).toString());
}

void Frmmain::showLamps() {
  const LampLooks looks = logic_.lamps();
  for (int i = 0; i < 16; ++i) Shape1[i]->setColorRef(lamp_colour(looks[i]));
}

void Frmmain::showList() {
  showTitle();
  List->clear();
  for (const ListItem& item : logic_.listItems()) {
    auto* row = new QTreeWidgetItem(List, {item.text});
    row->setData(0, Qt::UserRole, item.key);
  }
}

void Frmmain::CmdAdd_Click() {
  if (count_page(logic_.entries(), logic_.nPage()) >= kMaxEntriesPerRoute) {
    logic_.prompt().message(tr("最多99条"));  // told before anything is filled in
    return;
  }
  dialog_->bIsnew = true;
  dialog_->exec();
  logic_.refresh_list(logic_.nPage());
}

void Frmmain::List_DblClick() {
  const QList<QTreeWidgetItem*> selected = List->selectedItems();
  if (selected.isEmpty()) return;
  const int row = List->indexOfTopLevelItem(selected.first());
  if (row < 0 || row >= logic_.listItems().size()) return;
  dialog_->mydata = logic_.listItems()[row].entry;
  dialog_->bIsnew = false;
  dialog_->exec();
  logic_.refresh_list(logic_.nPage());
}

void Frmmain::CmdDel_Click() {
  QList<EntryPtr> selected;
  for (int row = 0; row < List->topLevelItemCount() && row < logic_.listItems().size(); ++row)
    if (List->topLevelItem(row)->isSelected()) selected << logic_.listItems()[row].entry;
  logic_.CmdDel_Click(selected);
}
