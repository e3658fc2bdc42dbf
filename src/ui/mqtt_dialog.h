#pragma once

#include <QDialog>

#include "station/settings_store.h"

class AppLogic;
class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;

// The broker connection "远程": the section "Mqtt" of Name.ini. The fields show the settings in
// use at every opening, and a line the broker's state as it changes. Ticking TLS moves a port left
// at 1883 to 8883 (and back); the client id's field shows the default id while empty. OK refuses
// a prefix (either) that cannot be a topic prefix ("前缀无效：不能含有 + 或 #，也不能有空的层级")
// and stays open; otherwise it
// writes the section and connects with it, and closes unless the file could not be written. Cancel
// changes nothing. An empty server ends the connection. Below, the alerts' webhook ("告警
// Webhook", its certificate file) is written with OK as well (section "Alerts"); "测试" sends a
// test message to what the fields hold and shows the receiver's answer.
class MqttDialog : public QDialog {
  Q_OBJECT
 public:
  MqttDialog(AppLogic& logic, QWidget* owner);

  int exec() override;

  // The settings the fields hold, and showing some.
  MqttSettings settings() const;
  void show(const MqttSettings& s);

  // The controls, by their names.
  QLineEdit* TxtHost = nullptr;
  QSpinBox* TxtPort = nullptr;
  QLineEdit* TxtUser = nullptr;
  QLineEdit* TxtPassword = nullptr;
  QCheckBox* ChkTls = nullptr;
  QLineEdit* TxtCaFile = nullptr;  // the authority's certificate; empty: the system's
  QLineEdit* TxtPrefix = nullptr;
  QCheckBox* ChkDiscovery = nullptr;
  QLineEdit* TxtDiscoveryPrefix = nullptr;
  QLineEdit* TxtClientId = nullptr;  // empty: the default (mqtt_client_id)
  QLineEdit* TxtWebhook = nullptr;
  QLineEdit* TxtWebhookCaFile = nullptr;
  QPushButton* CmdTestWebhook = nullptr;
  QPushButton* CmdWebPassword = nullptr;
  QLabel* LabWeb = nullptr;
  QLabel* LabWebhook = nullptr;  // the test's answer
  QLabel* LabState = nullptr;
  QLabel* LabHint = nullptr;
  QPushButton* OKButton = nullptr;
  QPushButton* CancelButton = nullptr;

 private:
  void Form_Load();
  void OKButton_Click();
  void showState();
  void CmdWebPassword_Click();

  AppLogic& logic_;
};
