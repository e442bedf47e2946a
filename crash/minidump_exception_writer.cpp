// The exception stream: the faulting thread, its exception record and the
// registers at the fault.
#include "crash/minidump_stream_writers.h"

namespace kvdump {

minidump::LocationDescriptor WriteExceptionStream(MinidumpLayout& layout, const ExceptionSnapshot& exception) {
  minidump::ExceptionStream stream{};
  stream.ThreadId = exception.threadId;
  stream.ExceptionRecord.ExceptionCode = exception.record.ExceptionCode;
  stream.ExceptionRecord.ExceptionFlags = exception.record.ExceptionFlags;
  stream.ExceptionRecord.ExceptionRecord = exception.record.ExceptionRecord;
  stream.ExceptionRecord.ExceptionAddress = exception.record.ExceptionAddress;
  stream.ExceptionRecord.NumberParameters = exception.record.NumberParameters;
  for (std::size_t i = 0; i < 15; ++i) {
    stream.ExceptionRecord.ExceptionInformation[i] = exception.record.ExceptionInformation[i];
  }
  stream.ThreadContext = layout.AppendRecord(exception.context);
  return layout.AppendRecord(stream);
}

}  // namespace kvdump
