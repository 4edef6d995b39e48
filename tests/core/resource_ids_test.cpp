// resources/ids.h is the one id vocabulary of the resource scripts and the
// programs' logic: every name it gives is carried by a resource (so the logic
// cannot act on an id the resources lack), the scripts number no control of
// their own, and no dialog has two controls with one id.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>

namespace {

const std::string kResources = KVL_SOURCE_DIR "/resources/";
const char* const kScripts[] = {"regnet9.rc",  "regnet5.rc",  "regsolo.rc", "net_common.rc",
                                "monitor9.rc", "monitor5.rc", "program.rc"};

std::string Read(const std::string& path) {
  std::ifstream in(path);
  EXPECT_TRUE(in) << path;
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

// Name -> value of every numeric id in ids.h.
std::map<std::string, int> Ids() {
  std::map<std::string, int> ids;
  const std::string text = Read(kResources + "ids.h");
  const std::regex define(R"(#define (ID[A-Z]_\w+) (\d+))");
  for (std::sregex_iterator i(text.begin(), text.end(), define), end; i != end; ++i)
    ids[(*i)[1]] = std::stoi((*i)[2]);
  return ids;
}

// Ids the programs make themselves (the menu item inserted by position, the log
// list box) or act on while no resource carries them.
const std::set<std::string> kNotInResources = {"IDC_SHOW_MONITOR", "IDW_LOG_LIST",
                                               "IDC_NET5_ABSENT_263", "IDC_NET5_ABSENT_40031"};

TEST(ResourceIds, EveryNameIsCarriedByAResourceExceptTheNamedFew) {
  std::string scripts;
  for (const char* s : kScripts) scripts += Read(kResources + s);
  const auto ids = Ids();
  ASSERT_GT(ids.size(), 100u);
  for (const auto& [name, value] : ids) {
    const bool used = std::regex_search(scripts, std::regex("\\b" + name + "\\b"));
    EXPECT_EQ(used, !kNotInResources.contains(name)) << name << " " << value;
  }
}

TEST(ResourceIds, DialogsNameTheirControlsAndNoTwoShareAnId) {
  const auto ids = Ids();
  // A control statement: KIND "text" or TEXT_MACRO or ICON_ID, ID, x, y, ...;
  // an edit, combo or list box has no text.
  const std::regex control(
      R"(^\s*(?:(?:EDITTEXT|COMBOBOX|LISTBOX)\s+|[A-Z]+\s+(?:"[^"]*"|\w+)\s*,\s*)(-?\w+)\s*,)");
  for (const char* script : kScripts) {
    std::istringstream in(Read(kResources + script));
    std::string line, dialog;
    std::map<int, std::string> seen;
    bool inside = false;
    while (std::getline(in, line)) {
      std::smatch m;
      if (std::regex_search(line, m, std::regex(R"(^(\w+) DIALOG)"))) {
        dialog = m[1];
        seen.clear();
      } else if (line.starts_with("BEGIN")) {
        inside = !dialog.empty();
      } else if (line.starts_with("END")) {
        inside = false;
        dialog.clear();
      } else if (inside && std::regex_search(line, m, control)) {
        const std::string id = m[1];
        if (id == "-1" || id == "IDOK" || id == "IDCANCEL") continue;
        const auto known = ids.find(id);
        if (known == ids.end()) {
          ADD_FAILURE() << script << " " << dialog
                        << ": a control numbered outside ids.h: " << line;
          continue;
        }
        const auto [it, added] = seen.emplace(known->second, id);
        EXPECT_TRUE(added) << script << " " << dialog << ": " << id << " and " << it->second
                           << " are both " << known->second;
      }
    }
  }
}

}  // namespace
