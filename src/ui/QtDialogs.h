#pragma once

#include "ui/Dialogs.h"

namespace quillora {

// The real dialogs: window-modal Qt dialogs opened with open(), answered through callbacks.
class QtDialogs : public Dialogs {
 public:
  void Message(QWidget* parent, const QString& title, const QString& text, Icon icon,
               std::function<void()> done) override;
  void Confirm(QWidget* parent, const QString& title, const QString& text,
               std::function<void(bool)> done) override;
  void ConfirmOkCancel(QWidget* parent, const QString& title, const QString& text,
                       std::function<void(bool)> done) override;
  void Password(QWidget* parent, const QString& title, const QString& prompt,
                const QString& remember_label,
                std::function<void(std::optional<QString>, bool)> done) override;
  void Input(QWidget* parent, const QString& title, const QString& prompt, const QString& initial,
             std::function<void(std::optional<QString>)> done) override;
  void SaveFile(QWidget* parent, const QString& title, const QString& folder, const QString& filter,
                const QString& default_suffix, std::function<void(QString)> done) override;
  void OpenFile(QWidget* parent, const QString& title, const QString& folder, const QString& filter,
                std::function<void(QString)> done) override;
  void PickColor(QWidget* parent, const QColor& initial,
                 std::function<void(std::optional<QColor>)> done) override;
  void PickFont(QWidget* parent, const QFont& initial,
                std::function<void(std::optional<QFont>)> done) override;
  void SetClipboardText(const QString& text) override;
  QString ClipboardText() override;
  bool OpenWithShell(const QString& path_or_url) override;
};

}  // namespace quillora
