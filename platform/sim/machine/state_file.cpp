// Checked reading of the JSON state files of a machine folder.
#include "platform/sim/machine/state_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/sim/machine/bounded_json.h"
#include "platform/sim/machine/machine_stop.h"

namespace platform {

namespace {

using json = nlohmann::json;

std::string Found(const json& value) {
  if (value.is_number_float()) return "a fractional number";
  if (value.is_number()) return "the number " + value.dump();
  if (value.is_string()) return "a string";
  if (value.is_boolean()) return "a boolean";
  if (value.is_null()) return "null";
  if (value.is_array()) return "an array";
  return "an object";
}

long long Nanoseconds(const struct stat& info) {
  return static_cast<long long>(info.st_mtim.tv_sec) * 1000000000LL + info.st_mtim.tv_nsec;
}

StateFileIdentity IdentityOf(const struct stat& info) {
  return StateFileIdentity{info.st_dev, info.st_ino, Nanoseconds(info), info.st_size};
}

}  // namespace

StateValue::StateValue(const json* value, std::string place, std::string* problem)
    : value_(value), place_(std::move(place)), problem_(problem) {}

std::string StateValue::Place() const { return place_.empty() ? "the top" : place_; }

void StateValue::Reject(const std::string& what) const {
  if (problem_->empty()) *problem_ = Place() + ": " + what;
}

bool StateValue::Expect(json::value_t type, const char* what) const {
  if (!value_) return false;
  if (value_->type() == type) return true;
  Reject(std::string("expected ") + what + ", found " + Found(*value_));
  return false;
}

StateValue StateValue::Optional(const char* name) const {
  std::string place = place_.empty() ? name : place_ + "." + name;
  if (!Expect(json::value_t::object, "an object")) return StateValue(nullptr, std::move(place), problem_);
  auto it = value_->find(name);
  return StateValue(it == value_->end() ? nullptr : &*it, std::move(place), problem_);
}

StateValue StateValue::Required(const char* name) const {
  StateValue member = Optional(name);
  if (value_ && value_->is_object() && !member.Present()) member.Reject("missing");
  return member;
}

std::vector<StateValue> StateValue::Elements() const {
  std::vector<StateValue> elements;
  if (!Expect(json::value_t::array, "an array")) return elements;
  elements.reserve(value_->size());
  std::size_t index = 0;
  for (const json& element : *value_) {
    elements.emplace_back(&element, place_ + "[" + std::to_string(index++) + "]", problem_);
  }
  return elements;
}

std::string StateValue::Text(const std::string& fallback) const {
  if (!Expect(json::value_t::string, "a string")) return fallback;
  return value_->get_ref<const std::string&>();
}

std::string_view StateValue::View() const {
  if (!Expect(json::value_t::string, "a string")) return std::string_view();
  return value_->get_ref<const std::string&>();
}

bool StateValue::Flag(bool fallback) const {
  if (!Expect(json::value_t::boolean, "true or false")) return fallback;
  return value_->get<bool>();
}

std::int64_t StateValue::Signed(std::int64_t fallback, std::int64_t minimum, std::int64_t maximum) const {
  if (!value_) return fallback;
  bool inRange = false;
  std::int64_t number = 0;
  if (value_->is_number_unsigned()) {
    auto u = value_->get<std::uint64_t>();
    inRange = u <= static_cast<std::uint64_t>(maximum);
    number = static_cast<std::int64_t>(u);
  } else if (value_->is_number_integer()) {
    number = value_->get<std::int64_t>();
    inRange = number >= minimum && number <= maximum;
  }
  if (!inRange) {
    Reject("expected a whole number from " + std::to_string(minimum) + " to " + std::to_string(maximum) +
           ", found " + Found(*value_));
    return fallback;
  }
  return number;
}

std::uint64_t StateValue::Unsigned(std::uint64_t fallback, std::uint64_t minimum, std::uint64_t maximum) const {
  if (!value_) return fallback;
  // nlohmann stores non-negative whole numbers as unsigned.
  if (!value_->is_number_unsigned() || value_->get<std::uint64_t>() < minimum ||
      value_->get<std::uint64_t>() > maximum) {
    Reject("expected a whole number from " + std::to_string(minimum) + " to " + std::to_string(maximum) +
           ", found " + Found(*value_));
    return fallback;
  }
  return value_->get<std::uint64_t>();
}

bool StateFileIdentity::operator==(const StateFileIdentity& other) const {
  return device == other.device && inode == other.inode && modified == other.modified && size == other.size;
}

std::optional<StateFileIdentity> IdentifyStateFile(const std::filesystem::path& file) {
  struct stat info {};
  if (::stat(file.c_str(), &info) != 0) return std::nullopt;
  return IdentityOf(info);
}

std::string CheckStateText(std::string_view content, const StateDecoder& decode) {
  if (content.find_first_not_of(" \t\r\n") == std::string_view::npos) return "the file is empty";
  std::string problem;
  std::optional<json> document = ParseBoundedJson(content, kMaxStateNesting, &problem);
  if (!document) return problem;
  decode(StateValue(&*document, std::string(), &problem));
  return problem;
}

StateFileRead TryReadStateFile(const std::filesystem::path& file, const StateDecoder& decode,
                               StateFileIdentity* identity) {
  StateFileRead result;
  int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    if (errno == ENOENT) return result;
    result.status = StateFileStatus::kDamaged;
    result.problem = std::string("cannot be opened: ") + std::strerror(errno);
    return result;
  }
  struct stat info {};
  std::string content;
  std::string readProblem;
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    readProblem = "not a regular file";
  } else {
    // One read of the known size, then whatever else arrived.
    content.resize(static_cast<std::size_t>(info.st_size));
    std::size_t filled = 0;
    while (true) {
      if (filled == content.size()) content.resize(content.size() + 65536);
      ssize_t n = ::read(fd, content.data() + filled, content.size() - filled);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) {
        readProblem = std::string("cannot be read: ") + std::strerror(errno);
        break;
      }
      if (n == 0) break;
      filled += static_cast<std::size_t>(n);
    }
    content.resize(filled);
  }
  ::close(fd);
  if (identity) *identity = IdentityOf(info);
  result.status = StateFileStatus::kDamaged;
  result.problem = readProblem.empty() ? CheckStateText(content, decode) : readProblem;
  if (result.problem.empty()) result.status = StateFileStatus::kSound;
  return result;
}

bool ReadStateFile(const std::filesystem::path& file, const StateDecoder& decode, StateFileIdentity* identity) {
  StateFileRead read = TryReadStateFile(file, decode, identity);
  if (read.status == StateFileStatus::kDamaged) StopOnDamagedStateFile(file, read.problem);
  return read.status == StateFileStatus::kSound;
}

}  // namespace platform
