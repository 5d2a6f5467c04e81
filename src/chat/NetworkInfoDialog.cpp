#include "chat/NetworkInfoDialog.h"

#include <QDialogButtonBox>
#include <QHostInfo>
#include <QNetworkInterface>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "ui/Dialogs.h"

namespace quillora {

NetworkInfoDialog::NetworkInfoDialog(Dialogs& dialogs, QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("frmNetInfo"));
  setWindowTitle(QStringLiteral("ネットワーク情報"));
  auto* layout = new QVBoxLayout(this);
  auto* text = new QPlainTextEdit(this);
  text->setObjectName(QStringLiteral("txtNetInfo"));
  text->setReadOnly(true);
  // The dialog's own font for all of it: a fixed-pitch font has no Japanese, so the labels fell
  // back to another face and the addresses looked smaller than the words around them.
  text->setFont(font());
  text->setPlainText(Describe());
  layout->addWidget(text);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
  QPushButton* copy = buttons->addButton(QStringLiteral("コピー"), QDialogButtonBox::ActionRole);
  connect(copy, &QPushButton::clicked, this,
          [&dialogs, text] { dialogs.SetClipboardText(text->toPlainText()); });
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  layout->addWidget(buttons);
  resize(520, 360);
}

QString NetworkInfoDialog::Describe() {
  QString out = QStringLiteral("ホスト名: %1\n").arg(QHostInfo::localHostName());
  const auto interfaces = QNetworkInterface::allInterfaces();
  for (const QNetworkInterface& nic : interfaces) {
    out += QStringLiteral("\n%1").arg(nic.humanReadableName());
    const bool up = nic.flags().testFlag(QNetworkInterface::IsUp);
    out += up ? QStringLiteral(" (接続)\n") : QStringLiteral(" (切断)\n");
    if (!nic.hardwareAddress().isEmpty()) {
      out += QStringLiteral("  物理アドレス: %1\n").arg(nic.hardwareAddress());
    }
    for (const QNetworkAddressEntry& entry : nic.addressEntries()) {
      const QHostAddress ip = entry.ip();
      const bool v4 = ip.protocol() == QAbstractSocket::IPv4Protocol;
      out += QStringLiteral("  %1: %2")
                 .arg(v4 ? QStringLiteral("IPv4") : QStringLiteral("IPv6"), ip.toString());
      if (v4 && !entry.netmask().isNull()) {
        out += QStringLiteral("  サブネットマスク: %1").arg(entry.netmask().toString());
      }
      out += QLatin1Char('\n');
    }
  }
  return out;
}

}  // namespace quillora
