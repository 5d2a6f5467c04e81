#include "ui/QtDialogs.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QColorDialog>
#include <QDesktopServices>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontDialog>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QUrl>
#include <QVBoxLayout>
#include <QWidget>
#include <algorithm>

namespace quillora {

namespace {
QMessageBox::Icon ToQtIcon(Dialogs::Icon icon) {
  switch (icon) {
    case Dialogs::Icon::Information:
      return QMessageBox::Information;
    case Dialogs::Icon::Warning:
      return QMessageBox::Warning;
    case Dialogs::Icon::Critical:
      return QMessageBox::Critical;
    case Dialogs::Icon::Question:
      return QMessageBox::Question;
    case Dialogs::Icon::None:
      break;
  }
  return QMessageBox::NoIcon;
}

// The extension of the first "*.ext" pattern of a "label (patterns)" filter, empty for "*.*".
QString FirstExtension(const QString& filter) {
  const qsizetype open = filter.lastIndexOf(QLatin1Char('('));
  const qsizetype close = filter.lastIndexOf(QLatin1Char(')'));
  if (open < 0 || close < open) return {};
  const QStringList patterns =
      filter.mid(open + 1, close - open - 1).split(QLatin1Char(' '), Qt::SkipEmptyParts);
  for (const QString& pattern : patterns) {
    if (!pattern.startsWith(QLatin1String("*."))) continue;
    const QString extension = pattern.mid(2);
    if (!extension.isEmpty() && std::all_of(extension.begin(), extension.end(),
                                            [](QChar c) { return c.isLetterOrNumber(); })) {
      return extension;
    }
  }
  return {};
}

// A file dialog that shows each filter by its label alone.
QFileDialog* NewFileDialog(QWidget* parent, const QString& title, const QString& folder,
                           const QString& filter) {
  auto* dialog = new QFileDialog(parent, title, folder, filter);
  dialog->setOption(QFileDialog::HideNameFilterDetails);
  return dialog;
}

// Runs `on_finished` once when the dialog closes, then lets the dialog delete itself.
template <typename D, typename F>
void OpenAndThen(D* dialog, F on_finished) {
  dialog->setAttribute(Qt::WA_DeleteOnClose);
  QObject::connect(dialog, &QDialog::finished, dialog,
                   [dialog, on_finished](int result) { on_finished(dialog, result); });
  dialog->open();
}
}  // namespace

void QtDialogs::Message(QWidget* parent, const QString& title, const QString& text, Icon icon,
                        std::function<void()> done) {
  auto* box = new QMessageBox(ToQtIcon(icon), title, text, QMessageBox::Ok, parent);
  OpenAndThen(box, [done](QMessageBox*, int) {
    if (done) done();
  });
}

void QtDialogs::Confirm(QWidget* parent, const QString& title, const QString& text,
                        std::function<void(bool)> done) {
  auto* box = new QMessageBox(QMessageBox::Question, title, text,
                              QMessageBox::Yes | QMessageBox::No, parent);
  OpenAndThen(box, [done](QMessageBox* b, int) {
    if (done) done(b->clickedButton() == b->button(QMessageBox::Yes));
  });
}

void QtDialogs::ConfirmOkCancel(QWidget* parent, const QString& title, const QString& text,
                                std::function<void(bool)> done) {
  auto* box = new QMessageBox(QMessageBox::Question, title, text,
                              QMessageBox::Ok | QMessageBox::Cancel, parent);
  OpenAndThen(box, [done](QMessageBox* b, int) {
    if (done) done(b->clickedButton() == b->button(QMessageBox::Ok));
  });
}

void QtDialogs::Input(QWidget* parent, const QString& title, const QString& prompt,
                      const QString& initial, std::function<void(std::optional<QString>)> done) {
  auto* dialog = new QInputDialog(parent);
  dialog->setWindowTitle(title);
  dialog->setLabelText(prompt);
  dialog->setTextValue(initial);
  // A long prompt wraps instead of stretching the box past the window that asks.
  int width = 420;
  if (parent && parent->window()->width() > 0) {
    width = std::clamp(parent->window()->width() - 40, 260, 420);
  }
  if (auto* label = dialog->findChild<QLabel*>()) {
    label->setWordWrap(true);
    label->setFixedWidth(width);
  }
  OpenAndThen(dialog, [done](QInputDialog* d, int result) {
    if (!done) return;
    if (result == QDialog::Accepted) {
      done(d->textValue());
    } else {
      done(std::nullopt);
    }
  });
}

void QtDialogs::Password(QWidget* parent, const QString& title, const QString& prompt,
                         const QString& remember_label,
                         std::function<void(std::optional<QString>, bool)> done) {
  auto* dialog = new QDialog(parent);
  dialog->setWindowTitle(title);
  dialog->setMinimumWidth(360);
  auto* layout = new QVBoxLayout(dialog);
  auto* label = new QLabel(prompt, dialog);
  label->setWordWrap(true);
  auto* word = new QLineEdit(dialog);
  word->setObjectName(QStringLiteral("txtPassword"));
  word->setEchoMode(QLineEdit::Password);
  auto* remember = new QCheckBox(remember_label, dialog);
  remember->setObjectName(QStringLiteral("chkRemember"));
  remember->setVisible(!remember_label.isEmpty());
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, dialog);
  QObject::connect(buttons, &QDialogButtonBox::accepted, dialog, &QDialog::accept);
  QObject::connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
  layout->addWidget(label);
  layout->addWidget(word);
  layout->addWidget(remember);
  layout->addWidget(buttons);
  word->setFocus();
  OpenAndThen(dialog, [done, word, remember](QDialog*, int result) {
    if (!done) return;
    if (result == QDialog::Accepted) {
      done(word->text(), remember->isChecked());
    } else {
      done(std::nullopt, false);
    }
  });
}

void QtDialogs::SaveFile(QWidget* parent, const QString& title, const QString& folder,
                         const QString& filter, const QString& default_suffix,
                         std::function<void(QString)> done) {
  auto* dialog = NewFileDialog(parent, title, folder, filter);
  dialog->setAcceptMode(QFileDialog::AcceptSave);
  dialog->setFileMode(QFileDialog::AnyFile);
  dialog->setDefaultSuffix(default_suffix);
  OpenAndThen(dialog, [done](QFileDialog* d, int result) {
    if (!done) return;
    const QStringList files = d->selectedFiles();
    done(result == QDialog::Accepted && !files.isEmpty() ? files.first() : QString());
  });
}

void QtDialogs::OpenFile(QWidget* parent, const QString& title, const QString& folder,
                         const QString& filter, std::function<void(QString)> done) {
  auto* dialog = NewFileDialog(parent, title, folder, filter);
  dialog->setAcceptMode(QFileDialog::AcceptOpen);
  dialog->setFileMode(QFileDialog::ExistingFile);
  // "foo" opens foo.tb0 when the filter is for .tb0 files, as saving names it.
  dialog->setDefaultSuffix(FirstExtension(filter));
  OpenAndThen(dialog, [done](QFileDialog* d, int result) {
    if (!done) return;
    const QStringList files = d->selectedFiles();
    done(result == QDialog::Accepted && !files.isEmpty() ? files.first() : QString());
  });
}

void QtDialogs::PickColor(QWidget* parent, const QColor& initial,
                          std::function<void(std::optional<QColor>)> done) {
  auto* dialog = new QColorDialog(initial, parent);
  OpenAndThen(dialog, [done](QColorDialog* d, int result) {
    if (!done) return;
    if (result == QDialog::Accepted) {
      done(d->selectedColor());
    } else {
      done(std::nullopt);
    }
  });
}

void QtDialogs::PickFont(QWidget* parent, const QFont& initial,
                         std::function<void(std::optional<QFont>)> done) {
  auto* dialog = new QFontDialog(initial, parent);
  OpenAndThen(dialog, [done](QFontDialog* d, int result) {
    if (!done) return;
    if (result == QDialog::Accepted) {
      done(d->selectedFont());
    } else {
      done(std::nullopt);
    }
  });
}

void QtDialogs::SetClipboardText(const QString& text) {
  if (QClipboard* clipboard = QGuiApplication::clipboard()) clipboard->setText(text);
}

QString QtDialogs::ClipboardText() {
  QClipboard* clipboard = QGuiApplication::clipboard();
  return clipboard ? clipboard->text() : QString();
}

bool QtDialogs::OpenWithShell(const QString& path_or_url) {
  const QUrl url = QFileInfo::exists(path_or_url) ? QUrl::fromLocalFile(path_or_url)
                                                  : QUrl::fromUserInput(path_or_url);
  return QDesktopServices::openUrl(url);
}

void SetTopmost(QWidget* window, bool topmost) {
  if (!window) return;
  const bool visible = window->isVisible();
  const QRect geometry = window->geometry();
  window->setWindowFlag(Qt::WindowStaysOnTopHint, topmost);
  // Changing window flags hides the window; put it back where it was.
  if (visible) {
    window->setGeometry(geometry);
    window->show();
  }
}

}  // namespace quillora
