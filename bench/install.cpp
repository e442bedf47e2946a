// Whole-installation benchmark: the install worker run headless against the
// nginx update host on fresh machines, next to what the same transfers cost
// curl plus the fixed waits the steps prescribe. Prints both and the ratio.
//
//   bench_install [rounds]      (default 3; each round a win10-x64 and a win7-x86 machine)
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "bench/bench_support.h"
#include "platform/codepage.h"
#include "support/installation_run.h"
#include "support/scoped_machine.h"
#include "support/update_host_fixture.h"

namespace {

// The waits of a successful run that cannot end early: the pause before the
// staging folder is cleared. The listing (5 s), the task deletions (5 s) and
// the driver's start (20 s) are bounds that end as soon as the work is done.
constexpr double kFixedWaitSeconds = 0.1;
// Beyond the transfers the installation checks every digest, unpacks the
// web view after each component and registers the agent with the system:
// it may take up to three times what the transfers and fixed waits take.
constexpr double kRatioTarget = 3.0;

// Every URL a successful installation fetches, in its order: the manifest,
// then each component followed by the web view archive.
std::vector<std::string> Transfers(const testing_support::UpdateHostFixture& host, const std::string& arch) {
  const std::string base = "http://127.0.0.1:" + std::to_string(host.Port());
  std::vector<std::string> urls = {base + "/update/" + arch + "/proverinfo.dat"};
  std::istringstream manifest(host.Served(arch + "/proverinfo.dat"));
  std::string line;
  std::getline(manifest, line);  // the product version
  std::vector<std::pair<std::string, std::string>> components;
  std::string name, digest, version;
  while (manifest >> name >> digest >> version) components.push_back({name, version});
  std::sort(components.begin(), components.end());
  for (const auto& [file, folder] : components) {
    urls.push_back(base + "/update/" + arch + "/" + folder + "/" + file);
    urls.push_back(base + "/v2/versions");
    urls.push_back(base + "/v2/download/resources?component=webview&version=1.4.2");
  }
  return urls;
}

double CurlSeconds(const std::vector<std::string>& urls) {
  std::string command = "curl -s -o /dev/null";
  for (const std::string& url : urls) command += " -o /dev/null '" + url + "'";
  const auto start = std::chrono::steady_clock::now();
  if (std::system(command.c_str()) != 0) return -1;
  return bench::SecondsSince(start);
}

double InstallSeconds(const testing_support::UpdateHostFixture& host, const char* profile, bool* succeeded) {
  testing_support::ScopedMachine machine(profile);
  testing_support::UpdateHostFixture::TrustTestRoot();
  testing_support::InstallationRun run;
  run.realPauses = true;
  const auto start = std::chrono::steady_clock::now();
  run.StartUp(host.Server());
  run.RunWorker();
  const double seconds = bench::SecondsSince(start);
  *succeeded = !run.progress->rows.empty() && run.progress->rows.back().text == L"Install Success";
  testing_support::InstallationRun::WaitForStartedPrograms();
  return seconds;
}

}  // namespace

int main(int argc, char** argv) {
  const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
  testing_support::UpdateHostFixture host;
  if (!host.Error().empty()) {
    std::cerr << "bench_install: " << host.Error() << "\n";
    return 1;
  }
  bool allPassed = true;
  for (const auto& [profile, arch] : {std::pair{"win10-x64", "x64"}, std::pair{"win7-x86", "x86"}}) {
    std::vector<double> ours, peer;
    for (int round = 0; round < rounds; ++round) {
      bool succeeded = false;
      ours.push_back(InstallSeconds(host, profile, &succeeded));
      peer.push_back(CurlSeconds(Transfers(host, arch)) + kFixedWaitSeconds);
      if (!succeeded) {
        std::cerr << "bench_install: the installation on " << profile << " did not succeed\n";
        return 1;
      }
    }
    std::sort(ours.begin(), ours.end());
    std::sort(peer.begin(), peer.end());
    const double median = ours[ours.size() / 2], peerMedian = peer[peer.size() / 2];
    const double ratio = median / peerMedian;
    std::printf("%-10s installation %.2f s (median of %d); curl on the same transfers + %.1f s of fixed waits %.2f s;"
                " ratio %.2f (target <= %.2f)\n",
                profile, median, rounds, kFixedWaitSeconds, peerMedian, ratio, kRatioTarget);
    allPassed &= ratio <= kRatioTarget;
  }
  return allPassed ? 0 : 1;
}
