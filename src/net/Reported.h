#pragma once

#include <QString>
#include <exception>

#include "core/Instance.h"
#include "net/Packet.h"

namespace quillora {

// Runs `step`. A protocol error it throws (or any other exception, as an internal error) is
// reported with `tag` and ends only this step. Returns true when the step ran to its end.
template <typename F>
bool RunReported(Instance& instance, const QString& tag, F&& step) {
  try {
    step();
    return true;
  } catch (const ProtocolError& e) {
    instance.ReportError(tag, e.number, e.description);
  } catch (const std::exception& e) {
    instance.ReportError(tag, kErrInternal, QString::fromUtf8(e.what()));
  }
  return false;
}

}  // namespace quillora
