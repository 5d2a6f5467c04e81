#pragma once

#include <QStringList>
#include <deque>
#include <optional>

#include "ui/Dialogs.h"

namespace quillora::test {

// Answers every question from a script and records what was asked, so no test ever waits on a
// dialog. An unscripted question is answered as if cancelled.
class ScriptedDialogs : public Dialogs {
 public:
  struct Asked {
    QString kind;  // "message", "confirm", "okcancel", "input", "save", "open", "color", "font"
    QString title;
    QString text;
  };

  std::deque<std::optional<QString>> inputs;  // answers of Input, in order
  std::deque<bool> confirms;                  // answers of Confirm
  std::deque<QString> files;                  // answers of SaveFile / OpenFile
  std::deque<std::optional<QColor>> colors;
  std::deque<std::optional<QFont>> fonts;
  std::vector<Asked> asked;
  QString clipboard;
  QStringList opened;
  bool open_succeeds = true;

  void Message(QWidget*, const QString& title, const QString& text, Icon,
               std::function<void()> done) override {
    asked.push_back({"message", title, text});
    if (done) done();
  }
  void Confirm(QWidget*, const QString& title, const QString& text,
               std::function<void(bool)> done) override {
    asked.push_back({"confirm", title, text});
    const bool answer = confirms.empty() ? false : Pop(confirms);
    if (done) done(answer);
  }
  // Answered from the same script; recorded apart so tests can tell which buttons were shown.
  void ConfirmOkCancel(QWidget*, const QString& title, const QString& text,
                       std::function<void(bool)> done) override {
    asked.push_back({"okcancel", title, text});
    const bool answer = confirms.empty() ? false : Pop(confirms);
    if (done) done(answer);
  }
  void Input(QWidget*, const QString& title, const QString& prompt, const QString&,
             std::function<void(std::optional<QString>)> done) override {
    asked.push_back({"input", title, prompt});
    const std::optional<QString> answer = inputs.empty() ? std::nullopt : Pop(inputs);
    if (done) done(answer);
  }
  void SaveFile(QWidget*, const QString& title, const QString& folder, const QString& filter,
                const QString&, std::function<void(QString)> done) override {
    asked.push_back({"save", title, folder + QLatin1Char('|') + filter});
    const QString answer = files.empty() ? QString() : Pop(files);
    if (done) done(answer);
  }
  void OpenFile(QWidget*, const QString& title, const QString& folder, const QString& filter,
                std::function<void(QString)> done) override {
    asked.push_back({"open", title, folder + QLatin1Char('|') + filter});
    const QString answer = files.empty() ? QString() : Pop(files);
    if (done) done(answer);
  }
  void PickColor(QWidget*, const QColor&,
                 std::function<void(std::optional<QColor>)> done) override {
    asked.push_back({"color", {}, {}});
    const std::optional<QColor> answer = colors.empty() ? std::nullopt : Pop(colors);
    if (done) done(answer);
  }
  void PickFont(QWidget*, const QFont&, std::function<void(std::optional<QFont>)> done) override {
    asked.push_back({"font", {}, {}});
    const std::optional<QFont> answer = fonts.empty() ? std::nullopt : Pop(fonts);
    if (done) done(answer);
  }
  void SetClipboardText(const QString& text) override { clipboard = text; }
  QString ClipboardText() override { return clipboard; }
  bool OpenWithShell(const QString& path) override {
    opened << path;
    return open_succeeds;
  }

  // The last question of a kind, or an empty record.
  Asked Last(const QString& kind) const {
    for (auto it = asked.rbegin(); it != asked.rend(); ++it) {
      if (it->kind == kind) return *it;
    }
    return {};
  }

 private:
  template <typename T>
  static T Pop(std::deque<T>& queue) {
    T value = queue.front();
    queue.pop_front();
    return value;
  }
};

}  // namespace quillora::test
