// crashtool: the crash reporter's companion on a simulated machine — prints
// the summary of a minidump as the project's reader sees it, arms a crash
// point through fault injection, and points the machine's Internet settings
// at a proxy (the way tests and the main job reach a collector on loopback).
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>
#include <vector>

#include "crash/minidump_reader.h"
#include "platform/codepage.h"
#include "platform/crash_points.h"
#include "platform/sim/machine/faults.h"
#include "platform/sim/machine/machine.h"
#include "platform/registry.h"

namespace {

int Usage() {
  std::cerr << "usage: crashtool [--machine DIR] COMMAND ...\n"
               "  summary DUMP-FILE          streams, system, exception, threads and modules of a minidump\n"
               "  inject POINT WAY           crash at POINT (ApplicationStart, InitInstance, InstallWorker);\n"
               "                             WAY: access, exception, abort, purecall, parameter, overflow\n"
               "  proxy HOST:PORT            the machine's Internet proxy for the installer's account\n";
  return 2;
}

bool WayCode(const std::string& way, win::DWORD* code) {
  if (way == "access") *code = platform::crash_way::kInvalidAccess;
  else if (way == "exception") *code = platform::crash_way::kUncaughtException;
  else if (way == "abort") *code = platform::crash_way::kAbort;
  else if (way == "purecall") *code = platform::crash_way::kPureVirtualCall;
  else if (way == "parameter") *code = platform::crash_way::kInvalidParameter;
  else if (way == "overflow") *code = platform::crash_way::kStackOverflow;
  else return false;
  return true;
}

int SetProxy(const std::string& proxy) {
  win::HKEY key = nullptr;
  if (win::RegCreateKeyW(win::HKEY_CURRENT_USER, L"Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings",
                         &key) != win::ERROR_SUCCESS) {
    std::cerr << "crashtool: cannot create the Internet settings key\n";
    return 1;
  }
  const win::DWORD enable = 1;
  const std::string server = platform::WideToUtf16Le(platform::Utf8ToWide(proxy));
  win::RegSetValueExW(key, L"ProxyEnable", 0, win::REG_DWORD, reinterpret_cast<const win::BYTE*>(&enable),
                      sizeof(enable));
  win::RegSetValueExW(key, L"ProxyServer", 0, win::REG_SZ, reinterpret_cast<const win::BYTE*>(server.data()),
                      static_cast<win::DWORD>(server.size()));
  win::RegCloseKey(key);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  if (args.size() >= 2 && args[0] == "--machine") {
    platform::Machine::Use(args[1]);
    args.erase(args.begin(), args.begin() + 2);
  }
  if (args.size() < 2) return Usage();
  if (args[0] == "summary") {
    std::ifstream in(args[1], std::ios::binary);
    if (!in) {
      std::cerr << "crashtool: cannot read " << args[1] << "\n";
      return 1;
    }
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    kvdump::MinidumpSummary summary;
    std::string error;
    if (!kvdump::ReadMinidump(bytes, &summary, &error)) {
      std::cerr << "crashtool: " << args[1] << ": " << error << "\n";
      return 1;
    }
    std::cout << kvdump::FormatMinidumpSummary(summary);
    return 0;
  }
  if (args[0] == "inject" && args.size() >= 3) {
    platform::Fault fault;
    fault.operation = "Crash";
    fault.subject = platform::Utf8ToWide(args[1]);
    if (!WayCode(args[2], &fault.error)) return Usage();
    platform::InjectFault(fault);
    return 0;
  }
  if (args[0] == "proxy") return SetProxy(args[1]);
  return Usage();
}
