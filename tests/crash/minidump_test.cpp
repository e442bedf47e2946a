// The minidump writer read back by the project's reader: every stream of a
// hand-made snapshot comes back as written, the layout follows the format,
// and damaged files give an error, never a read outside the bytes.
#include <gtest/gtest.h>

#include <cstring>

#include "crash/minidump_format.h"
#include "crash/minidump_layout.h"
#include "crash/minidump_reader.h"
#include "crash/minidump_writer.h"
#include "platform/little_endian.h"

namespace {

std::uint32_t U32(const std::string& bytes, std::size_t at) {
  std::uint32_t value = 0;
  std::memcpy(&value, bytes.data() + at, 4);
  return value;
}

kvdump::CrashSnapshot MakeSnapshot() {
  kvdump::CrashSnapshot snapshot;
  snapshot.system.majorVersion = 5;
  snapshot.system.minorVersion = 1;
  snapshot.system.buildNumber = 2600;
  snapshot.system.numberOfProcessors = 2;
  snapshot.system.servicePack = L"Service Pack 3";
  kvdump::ExceptionSnapshot exception;
  exception.threadId = 0x1111;
  exception.record.ExceptionCode = 0xC0000005;
  exception.record.ExceptionAddress = 0x401000;
  exception.record.NumberParameters = 2;
  exception.record.ExceptionInformation[0] = 1;
  exception.record.ExceptionInformation[1] = 0x1234;
  exception.context.ContextFlags = win::CONTEXT_FULL;
  exception.context.Rip = 0x401000;
  snapshot.exception = exception;
  for (std::uint32_t id : {0x1111u, 0x2222u}) {
    platform::ThreadSnapshot thread;
    thread.threadId = id;
    thread.hasContext = true;
    thread.context.ContextFlags = win::CONTEXT_FULL;
    thread.context.Rip = 0x400000 + id;
    thread.context.Rsp = 0x7FF000 + id;
    thread.stackStart = 0x7FF000 + id;
    thread.stack.assign(64 + id % 7, static_cast<std::uint8_t>(id));
    snapshot.threads.push_back(thread);
  }
  platform::ModuleSnapshot program;
  program.base = 0x400000;
  program.size = 0x20000;
  program.path = L"C:\\Users\\user\\Downloads\\bvlInstaller[x].exe";
  program.buildId = std::string("\x01\xAB\xCD", 3);
  platform::ModuleSnapshot library;
  library.base = 0x7F0000000000;
  library.size = 0x1000;
  library.path = L"Z:\\lib\\\uD55C.so";
  snapshot.modules = {program, library};
  snapshot.memory.push_back({0x400F80, std::vector<std::uint8_t>(256, 0x90)});
  snapshot.processId = 1004;
  snapshot.processCreateTime = 1796800000;
  snapshot.processUserTime = 3;
  snapshot.processKernelTime = 1;
  snapshot.dumpTime = 1796834105;
  return snapshot;
}

// The hand-made snapshot written and read back by the project's reader; each
// test checks the streams of one kind.
class MinidumpReadBack : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    ASSERT_TRUE(kvdump::ReadMinidump(kvdump::WriteMinidump(MakeSnapshot()), &s, &error)) << error;
  }

  kvdump::MinidumpSummary s;
};

TEST_F(MinidumpReadBack, HeaderAndDirectoryListTheStreamsInTheirOrder) {
  EXPECT_EQ(s.version, 0xA793u);
  EXPECT_EQ(s.timeDateStamp, 1796834105u);
  EXPECT_EQ(s.flags, 0u);
  std::vector<std::uint32_t> types;
  for (const auto& stream : s.streams) types.push_back(stream.type);
  EXPECT_EQ(types, (std::vector<std::uint32_t>{7, 15, 6, 3, 4, 5}));
}

TEST_F(MinidumpReadBack, SystemInformationIsTheSnapshotsWindowsOnX64) {
  ASSERT_TRUE(s.system.has_value());
  EXPECT_EQ(s.system->processorArchitecture, 9);
  EXPECT_EQ(s.system->majorVersion, 5u);
  EXPECT_EQ(s.system->minorVersion, 1u);
  EXPECT_EQ(s.system->buildNumber, 2600u);
  EXPECT_EQ(s.system->platformId, 2u);
  EXPECT_EQ(s.system->numberOfProcessors, 2);
  EXPECT_EQ(s.system->servicePack, L"Service Pack 3");
}

TEST_F(MinidumpReadBack, ExceptionStreamNamesTheFaultingThreadCodeAndAddress) {
  ASSERT_TRUE(s.exception.has_value());
  EXPECT_EQ(s.exception->threadId, 0x1111u);
  EXPECT_EQ(s.exception->code, 0xC0000005u);
  EXPECT_EQ(s.exception->address, 0x401000u);
  EXPECT_EQ(s.exception->parameters, (std::vector<std::uint64_t>{1, 0x1234}));
  EXPECT_EQ(s.exception->contextRip, 0x401000u);
}

TEST_F(MinidumpReadBack, ThreadListCarriesEachThreadsRegistersAndStack) {
  ASSERT_EQ(s.threads.size(), 2u);
  EXPECT_EQ(s.threads[1].id, 0x2222u);
  EXPECT_EQ(s.threads[1].rip, 0x402222u);
  EXPECT_EQ(s.threads[1].rsp, 0x801222u);
  EXPECT_EQ(s.threads[1].stackStart, 0x801222u);
  EXPECT_EQ(s.threads[1].stackSize, 64u + 0x2222 % 7);
  EXPECT_EQ(s.threads[1].contextFlags, win::CONTEXT_FULL);
}

TEST_F(MinidumpReadBack, ModuleListCarriesBasesPathsAndBuildIds) {
  ASSERT_EQ(s.modules.size(), 2u);
  EXPECT_EQ(s.modules[0].base, 0x400000u);
  EXPECT_EQ(s.modules[0].size, 0x20000u);
  EXPECT_EQ(s.modules[0].name, L"C:\\Users\\user\\Downloads\\bvlInstaller[x].exe");
  EXPECT_EQ(s.modules[0].buildId, "01abcd");
  EXPECT_EQ(s.modules[1].name, L"Z:\\lib\\\uD55C.so");
  EXPECT_EQ(s.modules[1].buildId, "");
}

TEST_F(MinidumpReadBack, MemoryListHoldsBothStacksAndTheCodeAroundTheFault) {
  ASSERT_EQ(s.memory.size(), 3u);
  EXPECT_EQ(s.memory[0].start, 0x800111u);
  EXPECT_EQ(s.memory[2].start, 0x400F80u);
  EXPECT_EQ(s.memory[2].size, 256u);
}

TEST_F(MinidumpReadBack, MiscellaneousInformationCarriesTheProcessIdAndTimes) {
  ASSERT_TRUE(s.misc.has_value());
  EXPECT_EQ(s.misc->flags, 3u);
  EXPECT_EQ(s.misc->processId, 1004u);
  EXPECT_EQ(s.misc->createTime, 1796800000u);
  EXPECT_EQ(s.misc->userTime, 3u);
}

TEST(MinidumpWriter, LayoutFollowsTheFormat) {
  const std::string bytes = kvdump::WriteMinidump(MakeSnapshot());
  ASSERT_GE(bytes.size(), 32u);
  EXPECT_EQ(bytes.substr(0, 4), "MDMP");
  EXPECT_EQ(U32(bytes, 4), 0xA793u);
  EXPECT_EQ(U32(bytes, 8), 6u);   // streams
  EXPECT_EQ(U32(bytes, 12), 32u); // the directory follows the header
  for (std::uint32_t i = 0; i < 6; ++i) {
    const std::uint32_t size = U32(bytes, 32 + 12 * i + 4);
    const std::uint32_t rva = U32(bytes, 32 + 12 * i + 8);
    EXPECT_EQ(rva % 4, 0u) << "stream " << i;
    EXPECT_LE(std::uint64_t{rva} + size, bytes.size());
  }
  // The exception stream is 168 bytes, the system information 56, the
  // miscellaneous information 24; a thread context is the 1232-byte x64 one.
  kvdump::MinidumpSummary s;
  std::string error;
  ASSERT_TRUE(kvdump::ReadMinidump(bytes, &s, &error));
  EXPECT_EQ(s.streams[0].size, 56u);
  EXPECT_EQ(s.streams[1].size, 24u);
  EXPECT_EQ(s.streams[2].size, 168u);
  EXPECT_EQ(s.streams[3].size, 4u + 2 * 48u);
  EXPECT_EQ(s.streams[4].size, 4u + 2 * 108u);
  EXPECT_EQ(s.streams[5].size, 4u + 3 * 16u);
  EXPECT_EQ(U32(bytes, s.streams[2].rva + 160), 1232u);
}

// The build id's CodeView record as debuggers and crash collectors read it,
// found by walking the file's bytes by hand: the signature "BpEL" stored as
// the little-endian number 0x4270454c, so the bytes 4c 45 70 42 ("LEpB"),
// then the build id itself.
TEST(MinidumpWriter, BuildIdRecordCarriesTheElfSignatureOnDisk) {
  const std::string bytes = kvdump::WriteMinidump(MakeSnapshot());
  const std::uint32_t streams = U32(bytes, 8);
  const std::uint32_t directory = U32(bytes, 12);
  std::uint32_t moduleList = 0;
  for (std::uint32_t i = 0; i < streams; ++i) {
    if (U32(bytes, directory + 12 * i) == 4) moduleList = U32(bytes, directory + 12 * i + 8);
  }
  ASSERT_NE(moduleList, 0u) << "no module list";
  ASSERT_EQ(U32(bytes, moduleList), 2u);
  // MINIDUMP_MODULE: the CodeView location at offset 76 (size, then rva).
  const std::size_t program = moduleList + 4;
  const std::uint32_t size = U32(bytes, program + 76);
  const std::uint32_t rva = U32(bytes, program + 80);
  ASSERT_EQ(size, 4u + 3u);
  ASSERT_LE(std::uint64_t{rva} + size, bytes.size());
  EXPECT_EQ(bytes.substr(rva, size), std::string("\x4c\x45\x70\x42\x01\xAB\xCD", 7));
  // A module without a build id has no CodeView record at all.
  const std::size_t library = program + 108;
  EXPECT_EQ(U32(bytes, library + 76), 0u);
  EXPECT_EQ(U32(bytes, library + 80), 0u);
}

TEST(MinidumpWriter, PureVirtualCallAddsTheAssertionStream) {
  kvdump::CrashSnapshot snapshot = MakeSnapshot();
  kvdump::minidump::AssertionInfo assertion{};
  assertion.type = kvdump::minidump::kAssertionPureVirtualCall;
  snapshot.assertion = assertion;
  kvdump::MinidumpSummary s;
  std::string error;
  ASSERT_TRUE(kvdump::ReadMinidump(kvdump::WriteMinidump(snapshot), &s, &error)) << error;
  EXPECT_EQ(s.streams.back().type, 0x47670002u);
  EXPECT_EQ(s.assertionType, std::optional<std::uint32_t>(2));
}

// A dump of the 32-bit program, laid out by hand as Windows documents it:
// the system information names an x86 processor, and the contexts are the
// 716-byte x86 ones, with the flags at 0 and Eip and Esp at 0xB8 and 0xC4.
std::string X86Dump() {
  std::string context(716, '\0');
  platform::Put32(context, 0x00, 0x00010007);  // CONTEXT_i386: control, integer, segments
  platform::Put32(context, 0xB8, 0x00401234);
  platform::Put32(context, 0xC4, 0x0019FF40);
  platform::Put32(context, 0xB4, 0x0019FF80);  // Ebp, which is neither
  kvdump::MinidumpLayout layout(3);
  kvdump::minidump::SystemInfo system{};
  system.ProcessorArchitecture = 0;
  layout.AddStream(kvdump::minidump::kSystemInfoStream, layout.AppendRecord(system));
  kvdump::minidump::ExceptionStream exception{};
  exception.ThreadId = 7;
  exception.ExceptionRecord.ExceptionCode = 0xC0000005;
  exception.ThreadContext = layout.Append(context.data(), context.size());
  layout.AddStream(kvdump::minidump::kExceptionStream, layout.AppendRecord(exception));
  kvdump::minidump::Thread thread{};
  thread.ThreadId = 7;
  thread.ThreadContext = layout.Append(context.data(), context.size());
  std::string list(4, '\0');
  platform::Put32(list, 0, 1);
  list.append(reinterpret_cast<const char*>(&thread), sizeof thread);
  layout.AddStream(kvdump::minidump::kThreadListStream, layout.Append(list.data(), list.size()));
  return layout.Finish(0);
}

TEST(MinidumpReader, ReadsTheRegistersOfAnX86Dump) {
  kvdump::MinidumpSummary s;
  std::string error;
  ASSERT_TRUE(kvdump::ReadMinidump(X86Dump(), &s, &error)) << error;
  ASSERT_EQ(s.threads.size(), 1u);
  EXPECT_EQ(s.threads[0].contextFlags, 0x00010007u);
  EXPECT_EQ(s.threads[0].rip, 0x401234u);
  EXPECT_EQ(s.threads[0].rsp, 0x19FF40u);
  ASSERT_TRUE(s.exception.has_value());
  EXPECT_EQ(s.exception->contextRip, 0x401234u);
  const std::string text = kvdump::FormatMinidumpSummary(s);
  EXPECT_NE(text.find(", x86, "), std::string::npos) << text;
  EXPECT_NE(text.find("eip 0x401234  esp 0x19ff40"), std::string::npos) << text;
}

TEST(MinidumpReader, AContextOfNoKnownProcessorLeavesTheRegistersUnread) {
  std::string bytes = X86Dump();
  kvdump::MinidumpSummary s;
  std::string error;
  ASSERT_TRUE(kvdump::ReadMinidump(bytes, &s, &error)) << error;
  const std::uint32_t flags = 0x00000007;  // the processor's flag is missing
  for (std::size_t at = 0; at + 4 <= bytes.size(); ++at) {
    if (U32(bytes, at) == 0x00010007u) std::memcpy(&bytes[at], &flags, 4);
  }
  ASSERT_TRUE(kvdump::ReadMinidump(bytes, &s, &error)) << error;
  EXPECT_EQ(s.threads[0].rip, 0u);
  EXPECT_EQ(s.exception->contextRip, 0u);
}

TEST(MinidumpReader, EveryTruncationIsRefusedOrReadWithinTheBytes) {
  const std::string bytes = kvdump::WriteMinidump(MakeSnapshot());
  for (std::size_t length = 0; length < bytes.size(); ++length) {
    // Copied so that a read past the end is a read outside the buffer.
    const std::string cut = bytes.substr(0, length);
    kvdump::MinidumpSummary s;
    std::string error;
    EXPECT_FALSE(kvdump::ReadMinidump(cut, &s, &error)) << "length " << length;
    EXPECT_FALSE(error.empty());
  }
}

struct DamageRow {
  const char* name;
  std::size_t offset;
  std::uint32_t value;
  const char* error;
};

class MinidumpDamageTest : public ::testing::TestWithParam<DamageRow> {};

TEST_P(MinidumpDamageTest, IsRefusedWithItsReason) {
  std::string bytes = kvdump::WriteMinidump(MakeSnapshot());
  std::memcpy(&bytes[GetParam().offset], &GetParam().value, 4);
  kvdump::MinidumpSummary s;
  std::string error;
  EXPECT_FALSE(kvdump::ReadMinidump(bytes, &s, &error));
  EXPECT_NE(error.find(GetParam().error), std::string::npos) << error;
}

INSTANTIATE_TEST_SUITE_P(
    Rows, MinidumpDamageTest,
    ::testing::Values(DamageRow{"Signature", 0, 0x504D444E, "not a minidump"},
                      DamageRow{"Version", 4, 0x1234, "unknown minidump version"},
                      DamageRow{"StreamCount", 8, 0x10000000, "stream directory"},
                      DamageRow{"DirectoryOutside", 12, 0xFFFFFFF0, "stream directory"},
                      // The first stream's location points past the end.
                      DamageRow{"StreamOutside", 32 + 8, 0x7FFFFFF0, "lies outside the file"},
                      DamageRow{"StreamTooLong", 32 + 4, 0x7FFFFFF0, "lies outside the file"}),
    [](const ::testing::TestParamInfo<DamageRow>& info) { return std::string(info.param.name); });

TEST(MinidumpReader, HugeListCountIsRefused) {
  std::string bytes = kvdump::WriteMinidump(MakeSnapshot());
  kvdump::MinidumpSummary s;
  std::string error;
  ASSERT_TRUE(kvdump::ReadMinidump(bytes, &s, &error));
  const std::uint32_t huge = 0x0FFFFFFF;
  std::memcpy(&bytes[s.streams[3].rva], &huge, 4);  // the thread list's count
  EXPECT_FALSE(kvdump::ReadMinidump(bytes, &s, &error));
  EXPECT_NE(error.find("the thread list is cut short"), std::string::npos) << error;
}

}  // namespace
