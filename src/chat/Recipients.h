#pragma once

#include <QObject>
#include <QString>
#include <QVector>

namespace quillora {

// One entry of the addressee or destination list: the text shown and the participant index it
// stands for (-1 for the top entries "＞なし" and "全員").
struct RecipientEntry {
  QString text;
  int data = -1;
  bool operator==(const RecipientEntry&) const = default;
};

// The main window's two lists as a model: the addressee list (lstReDir, "＞" + handle + honorific)
// and the destination list (lstSend, the bare handle). Entries of the same participant stand at
// the same position in both lists. The window shows them and reports the user's selections back
// with SelectReDir / SelectSend; everything else changes them through the session handlers.
class Recipients : public QObject {
  Q_OBJECT

 public:
  explicit Recipients(QObject* parent = nullptr);

  const QVector<RecipientEntry>& ReDir() const { return redir_; }
  const QVector<RecipientEntry>& Send() const { return send_; }
  // Selected rows, -1 when nothing is selected.
  int ReDirRow() const { return redir_row_; }
  int SendRow() const { return send_row_; }
  // The selected entries, or nullptr.
  const RecipientEntry* SelectedReDir() const;
  const RecipientEntry* SelectedSend() const;

  // Selects a row (-1 clears; rows outside the list are ignored).
  void SelectReDir(int row);
  void SelectSend(int row);

  // Inserts "＞なし" and "全員" at the top of the lists (once) and selects them.
  void InsertTopEntries();
  // Adds a participant at the end of both lists, or rewrites its entries when it is already
  // listed. Returns true when it was added.
  bool AddParticipant(int index, const QString& handle, const QString& prefix);
  // Removes the participant's addressee entry and the destination entry at the same position.
  bool RemoveParticipant(int index);
  // Rewrites the participant's entries with a new handle (also ends a typing marker).
  bool Rename(int index, const QString& handle, const QString& prefix);
  // Rewrites the participant's entries with or without the typing markers.
  bool SetTyping(int index, const QString& handle, const QString& prefix, bool typing);
  // Empties both lists.
  void Clear();

  // Row of the participant in the addressee list, or -1.
  int RowOf(int index) const;

  static QString AddresseeText(const QString& handle, const QString& prefix);
  static QString TypingText(const QString& handle, const QString& prefix);

 signals:
  // The entries of either list changed (texts, order or number).
  void listsChanged();
  // The selected row of either list changed.
  void selectionChanged(int redir_row, int send_row);

 private:
  void SetRows(int redir_row, int send_row);

  QVector<RecipientEntry> redir_;
  QVector<RecipientEntry> send_;
  int redir_row_ = -1;
  int send_row_ = -1;
};

}  // namespace quillora
