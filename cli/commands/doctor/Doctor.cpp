#include "cli/commands/doctor/Doctor.h"

#include "cli/ExitCode.h"
#include "cli/Words.h"
#include "i18n/Language.h"
#include "platform/Files.h"

namespace rdrconf::cli {

// The language files where the window looks for them: the working folder
// when it holds one, else the user's data folder and the system's.
Check LanguageFilesCheck() {
  Check check;
  check.name = "language_files";
  const LanguagePlaces places = LanguagePlaces::Find();
  std::vector<std::string> found;
  std::vector<std::string> missing;
  for (const char* code : {kChineseCode, kEnglishCode}) {
    const std::string path = places.TextFile(code);
    if (platform::IsRegularFile(path)) {
      found.push_back(path);
    } else {
      missing.push_back(std::string("RDRCONF.") + code + ".ini");
    }
  }
  if (missing.empty()) {
    check.detail = Joined(found, ", ");
    return check;
  }
  check.ok = false;
  check.code = kExitNotSetUp;
  check.detail = Joined(missing, " and ") + (missing.size() == 1 ? " is" : " are") + " in none of " +
                 Joined(places.textFolders, ", ");
  check.fix = "The window shows its texts from these files. Reinstall rdrconf, or copy the files into " +
              (places.textFolders.empty() ? std::string("the working folder") : places.textFolders.front()) + ".";
  return check;
}

// The readers that the listing gives, with the platform's own fixes for a
// listing that fails and for no reader at all.
Check ReadersCheck(const std::vector<ReaderIdentity>& readers, const HidError& error,
                   const std::string& listingFix, const std::string& noReaderFix) {
  Check visible;
  visible.name = "readers";
  if (error.number != 0 || !error.text.empty()) {
    visible.ok = false;
    visible.code = kExitInternal;
    visible.detail = "the HID devices cannot be listed: " + error.text;
    visible.fix = listingFix;
  } else if (readers.empty()) {
    visible.ok = false;
    visible.code = kExitNoReader;
    visible.detail = "no reader 1d57:ac08 is connected";
    visible.fix = noReaderFix;
  } else {
    std::vector<std::string> paths;
    for (const ReaderIdentity& r : readers) paths.push_back(r.hid.path);
    visible.detail = std::to_string(readers.size()) + (readers.size() == 1 ? " reader: " : " readers: ") +
                     Joined(paths, ", ");
  }
  return visible;
}


}  // namespace rdrconf::cli

