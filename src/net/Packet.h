#pragma once

#include <QByteArray>
#include <QString>
#include <QVector>
#include <cstdint>
#include <variant>

namespace quillora {

// One item of a packet. std::monostate is an unassigned slot; it goes out as an empty text.
using ItemValue =
    std::variant<std::monostate, uint8_t, int16_t, int32_t, bool, QString, float, double>;

// A protocol failure: the codec, the readers and the routing throw it; the event handler that
// called them reports it with its own tag. Numbers and texts are the classic runtime errors.
struct ProtocolError {
  int number;
  QString description;
};

// Error numbers used by the protocol layer.
inline constexpr int kErrInvalidCall = 5;  // "プロシージャの呼び出し、または引数が不正です。"
inline constexpr int kErrOverflow = 6;   // "オーバーフローしました。"
inline constexpr int kErrSubscript = 9;  // "インデックスが有効範囲にありません。"
inline constexpr int kErrTypeMismatch = 13;  // "型が一致しません。"
inline constexpr int kErrInternal = 51;  // "内部エラーです。" (a handler's std::exception)

ProtocolError InvalidCallError();
ProtocolError OverflowError();
ProtocolError SubscriptError();
ProtocolError TypeMismatchError();

enum RoutingMode : int { RouteAll = 1, RouteOne = 2, RouteServer = 3, RouteOthers = 4 };

// The in-memory form of one packet. Senders fill the header words, Add() the items and
// optionally BinData; the decoder fills every field.
struct Packet {
  int16_t Length = 0, SenderIndex = 0, DestIndex = 0, MessageCode = 0, SubCode = 0;
  QVector<ItemValue> Items{ItemValue{}};  // 1-based: slot 0 present, carries nothing
  int16_t ItemCount = 0;                  // entries of Items after decoding (Add keeps it too)
  int32_t BinLength = 0;
  QByteArray BinData;

  Packet() = default;
  Packet(int16_t code, int16_t sub_code, int16_t sender = 0, int16_t dest = 0)
      : SenderIndex(sender), DestIndex(dest), MessageCode(code), SubCode(sub_code) {}

  // Appends the next item (returns *this, so calls chain).
  Packet& Add(ItemValue v);
  // Sets the byte block and BinLength.
  Packet& SetBin(QByteArray bytes);

  // Number of items (the highest index of Items).
  int Count() const { return static_cast<int>(Items.size()) - 1; }
  bool Has(int i) const { return i >= 1 && i < Items.size(); }

  // Readers for handlers. They convert like the classic runtime: item i missing throws
  // ProtocolError 9 "インデックスが有効範囲にありません。", a value that cannot be converted
  // throws 13 "型が一致しません。" and a number too big for the target throws 6.
  //
  // Int: integers; booleans (true is -1, false 0); numbers rounded half to even; numeric text.
  int32_t Int(int i) const;
  // Text: text, or a number as its text ("True"/"False" for booleans, shortest decimal text
  // with "." for singles and doubles).
  QString Text(int i) const;
  // Bool: booleans; numbers (non-zero is true); "True"/"False" in any case or numeric text.
  bool Bool(int i) const;
  // Number: numbers, booleans (-1/0), or text with "." or "," as the decimal mark.
  double Number(int i) const;

  const ItemValue& Item(int i) const;  // throws 9 when missing
};

// The decimal text a single or double travels as: shortest round-trip form, "." as the
// decimal mark, "E" exponent ("1.5", "0.1", "1E+20"). Throws 6 for infinities and NaN.
QString NumberText(float v);
QString NumberText(double v);

// Parses numeric text as the readers do (trimmed, "." or a single "," as the decimal mark,
// optional exponent). Returns false when the text is not a finite number.
bool ParseNumberText(const QString& text, double* out);

}  // namespace quillora
