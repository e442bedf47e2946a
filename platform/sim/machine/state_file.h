// Reading the JSON state files of a machine folder (profile, registry, process
// table, faults, file marks, ...). A state file that cannot be read, is empty,
// is not JSON, nests deeper than any state file does or does not have the
// shape its reader expects is damaged; the program then stops with a report
// naming the file (machine_stop.h) and the file stays as it is.
//
// A reader describes the shape it expects through StateValue and fills its
// own records as it goes:
//
//   Table table;
//   ReadStateFile(file, [&](const StateValue& root) {
//     table.nextId = root.Optional("nextId").Whole<win::DWORD>(1000);
//     for (const StateValue& item : root.Required("processes").Elements()) {
//       table.ids.push_back(item.Required("id").Whole<win::DWORD>(0));
//     }
//   });
//
// A wrong type, a number out of range or a missing required member is
// recorded with its place ("processes[2].id: expected ...") and the reader
// goes on with the fallback; whatever it filled is thrown away by the caller
// because the program stops.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include <nlohmann/json.hpp>

namespace platform {

// Deeper than any state file nests (the registry has four levels).
constexpr int kMaxStateNesting = 32;

// A checked view of one value of a state file; absent when a member is missing.
class StateValue {
 public:
  StateValue(const nlohmann::json* value, std::string place, std::string* problem);

  bool Present() const { return value_ != nullptr; }
  // Where the value is, for messages: "keys[3].values[0].type", or "the top".
  std::string Place() const;
  // The JSON value itself, for a reader that checks more than the accessors do.
  const nlohmann::json* Json() const { return value_; }

  // A member of an object: an optional one is absent when missing; a missing
  // required one is a problem. A value that is not an object is a problem.
  StateValue Optional(const char* name) const;
  StateValue Required(const char* name) const;
  // The elements of an array in order; none when absent or not an array (a problem).
  std::vector<StateValue> Elements() const;

  // The value as a string, a boolean or a whole number in the range of
  // `Number`: `fallback` when absent; a problem and `fallback` when it has
  // another type or lies out of range.
  std::string Text(const std::string& fallback = std::string()) const;
  // The string without a copy (a registry value may be large); empty when absent.
  std::string_view View() const;
  bool Flag(bool fallback) const;
  template <typename Number>
  Number Whole(Number fallback) const {
    return Whole(fallback, std::numeric_limits<Number>::min(), std::numeric_limits<Number>::max());
  }
  // The same within [minimum, maximum] (a host process id is never negative).
  template <typename Number>
  Number Whole(Number fallback, Number minimum, Number maximum) const {
    static_assert(std::is_integral_v<Number> && !std::is_same_v<Number, bool>);
    if constexpr (std::is_signed_v<Number>) {
      return static_cast<Number>(Signed(fallback, minimum, maximum));
    } else {
      return static_cast<Number>(Unsigned(fallback, minimum, maximum));
    }
  }

  // Records a problem the reader found itself (a duplicate name, a bad encoding).
  void Reject(const std::string& what) const;

 private:
  std::int64_t Signed(std::int64_t fallback, std::int64_t minimum, std::int64_t maximum) const;
  std::uint64_t Unsigned(std::uint64_t fallback, std::uint64_t minimum, std::uint64_t maximum) const;
  bool Expect(nlohmann::json::value_t type, const char* what) const;

  const nlohmann::json* value_;
  std::string place_;
  std::string* problem_;
};

using StateDecoder = std::function<void(const StateValue& root)>;

// Which version of a file was read: a file replaced by another process (every
// write renames a new file over the old one) has another identity.
struct StateFileIdentity {
  dev_t device = 0;
  ino_t inode = 0;
  long long modified = 0;  // nanoseconds
  off_t size = 0;
  bool operator==(const StateFileIdentity& other) const;
  bool operator!=(const StateFileIdentity& other) const { return !(*this == other); }
};
// The identity of `file` now; nullopt when it does not exist.
std::optional<StateFileIdentity> IdentifyStateFile(const std::filesystem::path& file);

// Checks the text of a state file and hands its document to `decode`. Returns
// the first problem found, empty when the text is sound.
std::string CheckStateText(std::string_view content, const StateDecoder& decode);

enum class StateFileStatus { kAbsent, kSound, kDamaged };
struct StateFileRead {
  StateFileStatus status = StateFileStatus::kAbsent;
  std::string problem;  // when damaged
};

// Reads and checks `file` without stopping: absent (decode is not called),
// sound, or damaged with the problem. `identity` gets the version read.
StateFileRead TryReadStateFile(const std::filesystem::path& file, const StateDecoder& decode,
                               StateFileIdentity* identity = nullptr);

// Reads and checks `file`. Returns false when it does not exist; a damaged
// file stops the program (StopOnDamagedStateFile) and this does not return.
bool ReadStateFile(const std::filesystem::path& file, const StateDecoder& decode,
                   StateFileIdentity* identity = nullptr);

}  // namespace platform
