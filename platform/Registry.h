// The registry: a few named values in a tree of keys that outlives the
// process, per user. Velkor keeps its configuration's version marker there,
// and the judging window keeps the values it changes for a run.
//
// The store is a folder tree under the user's configuration folder:
//
//   <roaming app data>/velkor-registry/<hive>/<key>/<sub-key>/.../<value>
//
// A key is a folder and a value a file holding its type on the first line
// ("sz" or "dword") and its data after it. Key paths are written with "\"
// between the keys, as the callers know them ("SOFTWARE\Velkor"). Key and
// value names are found regardless of ASCII letter case, as the registry
// finds them; new ones are created as written. A value file is replaced
// atomically, so a reader never sees half a value.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

namespace velkor::platform {

class ERegistryError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

enum class RegistryHive { CurrentUser, LocalMachine };

// The folder that holds the hives, created when missing.
std::string RegistryFolder();

// One view of the store with at most one key open, like the toolkit's
// registry object. Every failure to read or write raises ERegistryError
// with the key or value and the system's reason.
class Registry {
 public:
  explicit Registry(RegistryHive Hive = RegistryHive::CurrentUser);

  bool KeyExists(std::string_view Key) const;
  // Opens Key, creating it and its parents when CanCreate is set. False
  // when the key does not exist and was not to be created.
  bool OpenKey(std::string_view Key, bool CanCreate);
  void CloseKey();

  // The operations on values act on the open key and raise without one.
  bool ValueExists(std::string_view Name) const;
  // "" for a missing value; raises for a value that is not a string.
  std::string ReadString(std::string_view Name) const;
  void WriteString(std::string_view Name, std::string_view Value);
  // Raises for a missing value or one that is not an integer.
  std::uint32_t ReadInteger(std::string_view Name) const;
  void WriteInteger(std::string_view Name, std::uint32_t Value);
  // False when there was no such value.
  bool DeleteValue(std::string_view Name);

 private:
  std::string ValueFile(std::string_view Name) const;  // "" when missing
  void WriteValue(std::string_view Name, std::string_view Type, std::string_view Data);
  std::string ReadValue(std::string_view Name, std::string_view Type) const;

  std::string FHiveDir;
  std::string FKeyDir;  // the open key's folder, "" when none is open
  std::string FKeyName;
};

}  // namespace velkor::platform
