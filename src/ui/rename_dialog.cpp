#include "ui/rename_dialog.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <QValidator>

#include "platform/code_page.h"
#include "station/settings_store.h"

namespace {

int gbk_bytes(const QString& text) {
  int n = 0;
  for (const char32_t ch : text.toUcs4()) n += gbk_length(ch);
  return n;
}

// Refuses a text longer than a route name may be, or one the file cannot hold.
class NameLength : public QValidator {
 public:
  NameLength(const std::function<bool(const QString&)>& storable, QObject* parent)
      : QValidator(parent), storable_(storable) {}
  State validate(QString& input, int&) const override {
    if (storable_ && !storable_(input)) return Invalid;
    return gbk_bytes(input) <= SettingsStore::kRouteNameBytes ? Acceptable : Invalid;
  }

 private:
  const std::function<bool(const QString&)>& storable_;
};

}  // namespace

RenameDialog::RenameDialog(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint) {
  setObjectName(QStringLiteral("RenameDialog"));
  setWindowTitle(tr("重命名"));
  TxtName = new QLineEdit(this);
  TxtName->setObjectName(QStringLiteral("TxtName"));
  TxtName->setValidator(new NameLength(storable_, TxtName));
  LabBytes = new QLabel(this);
  LabBytes->setObjectName(QStringLiteral("LabBytes"));
  OKButton = new QPushButton(tr("确定"), this);
  OKButton->setObjectName(QStringLiteral("OKButton"));
  OKButton->setDefault(true);
  CancelButton = new QPushButton(tr("取消"), this);
  CancelButton->setObjectName(QStringLiteral("CancelButton"));
  auto* name = new QHBoxLayout;
  name->addWidget(TxtName);
  name->addWidget(LabBytes);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(OKButton);
  buttons->addWidget(CancelButton);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(name);
  layout->addLayout(buttons);
  connect(TxtName, &QLineEdit::textChanged, this, &RenameDialog::showBytes);
  connect(OKButton, &QPushButton::clicked, this, &QDialog::accept);
  connect(CancelButton, &QPushButton::clicked, this, &QDialog::reject);
}

void RenameDialog::showBytes() {
  LabBytes->setText(
      tr("%1/%2 字节").arg(gbk_bytes(TxtName->text())).arg(SettingsStore::kRouteNameBytes));
}

std::optional<QString> RenameDialog::ask(int route, const QString& name,
                                         std::function<bool(const QString&)> storable) {
  setWindowTitle(tr("重命名第%1路").arg(route));
  storable_ = {};  // the present name is shown whatever it holds
  TxtName->setText(name);
  storable_ = std::move(storable);
  TxtName->selectAll();
  showBytes();
  TxtName->setFocus();
  if (exec() != QDialog::Accepted) return std::nullopt;
  return TxtName->text();
}
