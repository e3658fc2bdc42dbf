#include "ui/mqtt_dialog.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>

#include "app/app_logic.h"
#include "ui/ui_support.h"

MqttDialog::MqttDialog(AppLogic& logic, QWidget* owner)
    : QDialog(owner, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                         Qt::WindowCloseButtonHint),
      logic_(logic) {
  setObjectName(QStringLiteral("MqttDialog"));
  setWindowTitle(tr("远程"));
  setFixedSize(380, 320);
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

  caption(QStringLiteral("Label1"), tr("服务器"), 16);
  TxtHost = field(QStringLiteral("TxtHost"), 16);
  caption(QStringLiteral("Label2"), tr("端口"), 46);
  TxtPort = new QSpinBox(this);
  TxtPort->setObjectName(QStringLiteral("TxtPort"));
  TxtPort->setRange(1, 65535);
  TxtPort->setValue(MqttSettings::kDefaultPort);
  place(TxtPort, 96, 46, 90, 24);
  caption(QStringLiteral("Label3"), tr("用户名"), 76);
  TxtUser = field(QStringLiteral("TxtUser"), 76);
  caption(QStringLiteral("Label4"), tr("密码"), 106);
  TxtPassword = field(QStringLiteral("TxtPassword"), 106);
  TxtPassword->setEchoMode(QLineEdit::Password);
  ChkTls = check(QStringLiteral("ChkTls"), tr("TLS 加密（系统证书）"), 136);
  caption(QStringLiteral("Label5"), tr("前缀"), 164);
  TxtPrefix = field(QStringLiteral("TxtPrefix"), 164);
  ChkDiscovery = check(QStringLiteral("ChkDiscovery"), tr("Home Assistant 自动发现"), 194);

  LabState = new QLabel(this);
  LabState->setObjectName(QStringLiteral("LabState"));
  LabState->setFont(bold);
  place(LabState, 20, 226, 340, 20);
  LabHint = new QLabel(tr("服务器留空即关闭远程"), this);
  LabHint->setObjectName(QStringLiteral("LabHint"));
  place(LabHint, 20, 250, 340, 20);
  connect(&logic_.mqtt(), &MqttBridge::stateChanged, this, &MqttDialog::showState);

  OKButton = new QPushButton(tr("确定"), this);
  OKButton->setObjectName(QStringLiteral("OKButton"));
  OKButton->setFont(bold);
  place(OKButton, 64, 282, 81, 25);
  connect(OKButton, &QPushButton::clicked, this, &MqttDialog::OKButton_Click);
  CancelButton = new QPushButton(tr("取消"), this);
  CancelButton->setObjectName(QStringLiteral("CancelButton"));
  CancelButton->setFont(bold);
  place(CancelButton, 235, 282, 81, 25);
  connect(CancelButton, &QPushButton::clicked, this, &QDialog::reject);
  // Return confirms wherever the focus is; only a click (or Space) on "取消" cancels.
  OKButton->setAutoDefault(false);
  CancelButton->setAutoDefault(false);
  OKButton->setDefault(true);
}

int MqttDialog::exec() {
  Form_Load();
  return QDialog::exec();
}

void MqttDialog::Form_Load() {
  show(logic_.mqtt().settings());
  TxtPrefix->setPlaceholderText(QStringLiteral("tavrel/%1").arg(logic_.nID()));
  showState();
  TxtHost->setFocus(Qt::OtherFocusReason);
}

void MqttDialog::show(const MqttSettings& s) {
  TxtHost->setText(s.host);
  TxtPort->setValue(s.port);
  TxtUser->setText(s.user);
  TxtPassword->setText(s.password);
  ChkTls->setChecked(s.tls);
  TxtPrefix->setText(s.prefix);
  ChkDiscovery->setChecked(s.discovery);
}

MqttSettings MqttDialog::settings() const {
  MqttSettings s;
  s.host = TxtHost->text().trimmed();
  s.port = TxtPort->value();
  s.user = TxtUser->text();
  s.password = TxtPassword->text();
  s.tls = ChkTls->isChecked();
  s.prefix = TxtPrefix->text().trimmed();
  s.discovery = ChkDiscovery->isChecked();
  return s;
}

void MqttDialog::showState() { LabState->setText(logic_.mqttText()); }

void MqttDialog::OKButton_Click() {
  const MqttSettings s = settings();
  if (!s.prefix.isEmpty() && !MqttSettings::validPrefix(s.prefix)) {
    logic_.prompt().message(tr("前缀无效：不能含有 + 或 #，也不能只有 /"));
    TxtPrefix->setFocus(Qt::OtherFocusReason);
    return;
  }
  if (logic_.setMqtt(s)) accept();
}
