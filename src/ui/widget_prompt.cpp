#include "ui/widget_prompt.h"

#include <QAbstractFileIconProvider>
#include <QCoreApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QGridLayout>
#include <QIdentityProxyModel>
#include <QMessageBox>
#include <QMimeDatabase>
#include <QPushButton>
#include <QStandardPaths>

#include "app/file_commands.h"

namespace {

// The file list's sizes, dates and the folders' type in the program's language (Chinese): Qt's
// file model writes them in the system's, whatever the program speaks.
class LocalSizesAndDates : public QIdentityProxyModel {
 public:
  using QIdentityProxyModel::QIdentityProxyModel;
  QVariant data(const QModelIndex& index, int role) const override {
    const auto* files = qobject_cast<const QFileSystemModel*>(sourceModel());
    if (!files || role != Qt::DisplayRole) return QIdentityProxyModel::data(index, role);
    const QModelIndex file = mapToSource(index);
    if (index.column() == kSize && !files->isDir(file))
      return QLocale().formattedDataSize(files->size(file));
    if (index.column() == kType && files->isDir(file))
      return QCoreApplication::translate("WidgetPrompt", "文件夹");
    if (index.column() == kDate)
      return QLocale().toString(files->lastModified(file), QLocale::ShortFormat);
    return QIdentityProxyModel::data(index, role);
  }

 private:
  static constexpr int kSize = 1;  // QFileSystemModel's columns
  static constexpr int kType = 2;
  static constexpr int kDate = 3;
};

// Icons and types from a file's name: the platform's provider would read a file's first bytes to
// tell its type, which blocks on a FIFO or a hung share.
class IconsByName : public QAbstractFileIconProvider {
 public:
  QIcon icon(const QFileInfo& info) const override {
    return QAbstractFileIconProvider::icon(info.isDir() ? Folder : File);
  }
  QString type(const QFileInfo& info) const override {
    if (info.isDir()) return QCoreApplication::translate("WidgetPrompt", "文件夹");
    return QMimeDatabase()
        .mimeTypeForFile(info.fileName(), QMimeDatabase::MatchExtension)
        .comment();
  }
};

// Refuses, while it is open, to save onto one of the program's own files.
class EntryFileDialog : public QFileDialog {
 public:
  EntryFileDialog(QWidget* parent, QString dataDir, bool save)
      : QFileDialog(parent), dataDir_(std::move(dataDir)), save_(save) {}
  void accept() override {
    const QString chosen = selectedFiles().value(0);
    if (save_ && !chosen.isEmpty() && is_program_file(dataDir_, chosen)) {
      QMessageBox box(QMessageBox::NoIcon, QCoreApplication::translate("WidgetPrompt", "提示"),
                      QCoreApplication::translate("FileCommands", "不能另存为程序自己的文件") +
                          QLatin1Char('\n') + QDir::toNativeSeparators(chosen),
                      QMessageBox::Ok, this);
      widen(box);
      box.exec();
      return;
    }
    QFileDialog::accept();
  }
  // At least as wide as the title and the frame's buttons need.
  static void widen(QMessageBox& box) {
    auto* grid = qobject_cast<QGridLayout*>(box.layout());
    if (!grid) return;
    const int width = box.fontMetrics().horizontalAdvance(box.windowTitle()) + kTitleBarButtons;
    grid->addItem(new QSpacerItem(width, 0, QSizePolicy::Minimum, QSizePolicy::Fixed),
                  grid->rowCount(), 0, 1, grid->columnCount());
  }

 private:
  static constexpr int kTitleBarButtons = 160;  // an icon and the close button, with room
  QString dataDir_;
  bool save_;
};

}  // namespace

QString WidgetPrompt::title() { return QCoreApplication::translate("WidgetPrompt", "提示"); }

WidgetPrompt::~WidgetPrompt() { withdrawNotice(); }

void WidgetPrompt::message(const QString& text) {
  QMessageBox box(QMessageBox::NoIcon, title(), text, QMessageBox::Ok, parent_);
  EntryFileDialog::widen(box);
  box.exec();
}

bool WidgetPrompt::confirm(const QString& text) {
  QMessageBox box(QMessageBox::NoIcon, title(), text, QMessageBox::Ok | QMessageBox::Cancel,
                  parent_);
  EntryFileDialog::widen(box);
  return box.exec() == QMessageBox::Ok;
}

Prompt::SaveChoice WidgetPrompt::askSave(const QString& text) {
  QMessageBox box(QMessageBox::NoIcon, title(), text, QMessageBox::NoButton, parent_);
  QPushButton* save =
      box.addButton(QCoreApplication::translate("WidgetPrompt", "保存"), QMessageBox::AcceptRole);
  QPushButton* discard = box.addButton(QCoreApplication::translate("WidgetPrompt", "不保存"),
                                       QMessageBox::DestructiveRole);
  QPushButton* cancel =
      box.addButton(QCoreApplication::translate("WidgetPrompt", "取消"), QMessageBox::RejectRole);
  box.setDefaultButton(save);
  box.setEscapeButton(cancel);
  EntryFileDialog::widen(box);
  box.exec();
  if (box.clickedButton() == save) return SaveChoice::Save;
  return box.clickedButton() == discard ? SaveChoice::Discard : SaveChoice::Cancel;
}

void WidgetPrompt::notice(const QString& text) {
  withdrawNotice();
  auto* box = new QMessageBox(QMessageBox::NoIcon, title(), text, QMessageBox::Ok, parent_);
  box->setAttribute(Qt::WA_DeleteOnClose);
  box->setWindowModality(Qt::NonModal);
  EntryFileDialog::widen(*box);
  box->show();
  notice_ = box;
}

void WidgetPrompt::withdrawNotice() {
  if (notice_) notice_->close();
}

QString WidgetPrompt::ask(bool save) {
  // Qt's own dialog, so its words and dates follow the program's language, not the desktop's.
  const IconsByName icons;  // outlives the dialog
  EntryFileDialog dialog(parent_, dataDir_, save);
  dialog.setOption(QFileDialog::DontUseNativeDialog);
  dialog.setIconProvider(const_cast<IconsByName*>(&icons));
  dialog.setProxyModel(new LocalSizesAndDates(&dialog));
  dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
  dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
  dialog.setNameFilter(QCoreApplication::translate("WidgetPrompt", "ini文件 (*.ini)"));
  dialog.setDefaultSuffix(QStringLiteral("ini"));
  if (!lastFile_.isEmpty()) {
    dialog.selectFile(lastFile_);
  } else if (!lastDir_.isEmpty()) {
    dialog.setDirectory(lastDir_);
  } else {
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    dialog.setDirectory(QFileInfo::exists(documents) ? documents : QDir::homePath());
  }
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
  const QString chosen = dialog.selectedFiles().first();
  // The settings and the store are never offered again; their folder is.
  const QString name = QFileInfo(chosen).fileName();
  const bool own = name.compare(QLatin1String("Name.ini"), Qt::CaseInsensitive) == 0 ||
                   name.compare(QLatin1String("Note.ini"), Qt::CaseInsensitive) == 0;
  lastDir_ = QFileInfo(chosen).absolutePath();
  lastFile_ = own ? QString() : chosen;
  return chosen;
}

QString WidgetPrompt::saveFileName() { return ask(true); }
QString WidgetPrompt::openFileName() { return ask(false); }
