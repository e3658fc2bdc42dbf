#include "ui/mqtt_dialog.h"

#include <QApplication>
#include <QCheckBox>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QSysInfo>

#include "app/app_logic.h"
#include "ui/ui_support.h"

MqttDialog::MqttDialog(AppLogic& logic, QWidget* owner)
    : QDialog(owner, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                         Qt::WindowCloseButtonHint),
      logic_(logic) {
  setObjectName(QStringLiteral("MqttDialog"));
  setWindowTitle(tr("远程"));
  setFixedSize(380, 512);
  setModal(true);
  const QFont bold = song_bold(12);

  auto caption = [&](const QString& name, const QString& text, int y) {
    auto* l = new QLabel(text, this);
    l->setObjectName(name);
    l->setFont(bold);
    place(l, 20, y + 3, 72, 20);
  };
  auto field = [&](const QString& name, int y) {
    auto* e = new QLineEdit(this);
    e->setObjectName(name);
    place(e, 96, y, 264, 24);
    return e;
  };
  auto check = [&](const QString& name, const QString& text, int y) {
    auto* c = new QCheckBox(text, this);
    c->setObjectName(name);
    c->setFont(bold);
    place(c, 96, y, 264, 22);
    return c;
  };

  caption(QStringLiteral("Label1"), tr("服务器"), 12);
  TxtHost = field(QStringLiteral("TxtHost"), 12);
  caption(QStringLiteral("Label2"), tr("端口"), 40);
  TxtPort = new QSpinBox(this);
  TxtPort->setObjectName(QStringLiteral("TxtPort"));
  TxtPort->setRange(1, 65535);
  TxtPort->setValue(MqttSettings::kDefaultPort);
  place(TxtPort, 96, 40, 90, 24);
  ChkTls = new QCheckBox(tr("TLS 加密"), this);
  ChkTls->setObjectName(QStringLiteral("ChkTls"));
  ChkTls->setFont(bold);
  place(ChkTls, 200, 41, 160, 22);
  caption(QStringLiteral("Label6"), tr("证书"), 68);
  TxtCaFile = field(QStringLiteral("TxtCaFile"), 68);
  TxtCaFile->setPlaceholderText(tr("系统证书"));
  caption(QStringLiteral("Label3"), tr("用户名"), 96);
  TxtUser = field(QStringLiteral("TxtUser"), 96);
  caption(QStringLiteral("Label4"), tr("密码"), 124);
  TxtPassword = field(QStringLiteral("TxtPassword"), 124);
  TxtPassword->setEchoMode(QLineEdit::Password);
  caption(QStringLiteral("Label5"), tr("前缀"), 152);
  TxtPrefix = field(QStringLiteral("TxtPrefix"), 152);
  ChkDiscovery = check(QStringLiteral("ChkDiscovery"), tr("Home Assistant 自动发现"), 180);
  caption(QStringLiteral("Label7"), tr("发现前缀"), 206);
  TxtDiscoveryPrefix = field(QStringLiteral("TxtDiscoveryPrefix"), 206);
  TxtDiscoveryPrefix->setPlaceholderText(QStringLiteral("homeassistant"));
  caption(QStringLiteral("Label8"), tr("客户端"), 234);
  TxtClientId = field(QStringLiteral("TxtClientId"), 234);
  // TLS has a port of its own: a port left at one default follows to the other.
  connect(ChkTls, &QCheckBox::toggled, this, [this](bool tls) {
    const int from = tls ? MqttSettings::kDefaultPort : MqttSettings::kDefaultTlsPort;
    if (TxtPort->value() == from)
      TxtPort->setValue(tls ? MqttSettings::kDefaultTlsPort : MqttSettings::kDefaultPort);
  });
  TxtCaFile->setEnabled(false);
  connect(ChkTls, &QCheckBox::toggled, TxtCaFile, &QWidget::setEnabled);

  LabState = new QLabel(this);
  LabState->setObjectName(QStringLiteral("LabState"));
  LabState->setFont(bold);
  LabState->setWordWrap(true);  // a refused topic takes a second line
  place(LabState, 20, 264, 340, 38);
  LabHint = new QLabel(tr("服务器留空即关闭远程"), this);
  LabHint->setObjectName(QStringLiteral("LabHint"));
  place(LabHint, 20, 306, 340, 20);
  connect(&logic_, &AppLogic::controlsChanged, this, &MqttDialog::showState);

  caption(QStringLiteral("Label9"), tr("告警"), 334);
  TxtWebhook = field(QStringLiteral("TxtWebhook"), 334);
  TxtWebhook->setPlaceholderText(tr("Webhook 地址（http:// 或 https://）"));
  caption(QStringLiteral("Label10"), tr("证书"), 362);
  TxtWebhookCaFile = field(QStringLiteral("TxtWebhookCaFile"), 362);
  TxtWebhookCaFile->setPlaceholderText(tr("系统证书"));
  CmdTestWebhook = new QPushButton(tr("测试"), this);
  CmdTestWebhook->setObjectName(QStringLiteral("CmdTestWebhook"));
  place(CmdTestWebhook, 20, 392, 72, 24);
  LabWebhook = new QLabel(this);
  LabWebhook->setObjectName(QStringLiteral("LabWebhook"));
  LabWebhook->setWordWrap(true);
  place(LabWebhook, 96, 390, 264, 36);
  connect(CmdTestWebhook, &QPushButton::clicked, this, [this] {
    LabWebhook->setText(tr("正在发送测试消息…"));
    logic_.testWebhook({TxtWebhook->text().trimmed(), TxtWebhookCaFile->text().trimmed()});
  });
  connect(&logic_, &AppLogic::webhookTested, LabWebhook, &QLabel::setText);

  // The page in a browser: its password (the server itself is set in Name.ini's [Web]).
  caption(QStringLiteral("Label11"), tr("网页"), 432);
  CmdWebPassword = new QPushButton(tr("设置密码…"), this);
  CmdWebPassword->setObjectName(QStringLiteral("CmdWebPassword"));
  place(CmdWebPassword, 96, 432, 100, 24);
  LabWeb = new QLabel(this);
  LabWeb->setObjectName(QStringLiteral("LabWeb"));
  place(LabWeb, 204, 432, 156, 24);
  connect(CmdWebPassword, &QPushButton::clicked, this, &MqttDialog::CmdWebPassword_Click);

  const OkCancel buttons = ok_cancel_buttons(this, bold, 64, 235, 474);
  OKButton = buttons.ok;
  CancelButton = buttons.cancel;
  connect(OKButton, &QPushButton::clicked, this, &MqttDialog::OKButton_Click);
}

int MqttDialog::exec() {
  Form_Load();
  return QDialog::exec();
}

void MqttDialog::Form_Load() {
  show(logic_.mqttSettings());
  TxtPrefix->setPlaceholderText(QStringLiteral("tavrel/%1").arg(logic_.nID()));
  const MqttSettings& s = logic_.mqttSettings();
  TxtClientId->setPlaceholderText(QString::fromUtf8(mqtt_client_id(
      QSysInfo::machineHostName(), mqtt_device_id(s.prefixFor(logic_.nID()), logic_.nID()))));
  const WebhookSettings hook = logic_.webhookSettings();
  TxtWebhook->setText(hook.url);
  TxtWebhookCaFile->setText(hook.caFile);
  LabWebhook->clear();
  LabWeb->setText(logic_.webPasswordSet() ? tr("已设置密码") : tr("未设置密码"));
  showState();
  TxtHost->setFocus(Qt::OtherFocusReason);
}

void MqttDialog::show(const MqttSettings& s) {
  TxtHost->setText(s.host);
  ChkTls->setChecked(s.tls);
  TxtUser->setText(s.user);
  TxtPassword->setText(s.password);
  TxtPort->setValue(s.port);  // after the TLS box, which may move a default port
  TxtCaFile->setText(s.caFile);
  TxtPrefix->setText(s.prefix);
  ChkDiscovery->setChecked(s.discovery);
  TxtDiscoveryPrefix->setText(s.discoveryPrefix);
  TxtClientId->setText(s.clientId);
}

MqttSettings MqttDialog::settings() const {
  MqttSettings s;
  s.host = TxtHost->text().trimmed();
  s.port = TxtPort->value();
  s.user = TxtUser->text();
  s.password = TxtPassword->text();
  s.tls = ChkTls->isChecked();
  s.caFile = TxtCaFile->text().trimmed();
  s.prefix = TxtPrefix->text().trimmed();
  s.discovery = ChkDiscovery->isChecked();
  s.discoveryPrefix = TxtDiscoveryPrefix->text().trimmed();
  s.clientId = TxtClientId->text().trimmed();
  return s;
}

void MqttDialog::showState() { LabState->setText(logic_.mqttText()); }

void MqttDialog::OKButton_Click() {
  const MqttSettings s = settings();
  for (QLineEdit* prefix : {TxtPrefix, TxtDiscoveryPrefix}) {
    const QString p = prefix->text().trimmed();
    if (p.isEmpty() || MqttSettings::validPrefix(p)) continue;
    logic_.prompt().message(tr("前缀无效：不能含有 + 或 #，也不能有空的层级"));
    prefix->setFocus(Qt::OtherFocusReason);
    return;
  }
  if (logic_.setMqtt(s) &&
      logic_.setWebhook({TxtWebhook->text().trimmed(), TxtWebhookCaFile->text().trimmed()}))
    accept();
}

void MqttDialog::CmdWebPassword_Click() {
  bool ok = false;
  const QString password = QInputDialog::getText(this, tr("网页密码"), tr("新密码："),
                                                 QLineEdit::Password, QString(), &ok);
  if (!ok || password.isEmpty()) return;
  const QString again = QInputDialog::getText(this, tr("网页密码"), tr("再输入一次："),
                                              QLineEdit::Password, QString(), &ok);
  if (!ok) return;
  if (again != password) {
    logic_.prompt().message(tr("两次输入的密码不同"));
    return;
  }
  QApplication::setOverrideCursor(Qt::WaitCursor);  // the hash is slow on purpose
  const bool saved = logic_.setWebPassword(password);
  QApplication::restoreOverrideCursor();
  if (saved) LabWeb->setText(tr("已设置密码"));
}
