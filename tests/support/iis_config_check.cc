// iis_config_check SECTIONS WEB_CONFIG...: whether IIS 10, as it comes,
// accepts each web.config in a site's folder. SECTIONS lists the sections
// as IIS declares them (tests/iis_sections.txt). Each file's sections are
// named on standard output; every one a site's file may not set (or that
// the list does not know) is named on standard error, and the exit status
// is then 1 (2: a file that cannot be read or is no configuration).
#include <cstdio>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct Section {
  std::string definition, mode;
  bool unlocked = false;
};

std::map<std::string, Section> ReadSections(const std::string& path) {
  std::map<std::string, Section> sections;
  std::ifstream in(path);
  std::string line;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream words(line);
    std::string name, extra;
    Section s;
    words >> name >> s.definition >> s.mode >> extra;
    s.unlocked = extra == "unlocked";
    sections[name] = s;
  }
  return sections;
}

// Why a site's file may not set the section; empty when it may.
std::string Refusal(const Section& s) {
  if (s.definition != "Everywhere") return "defined only at " + s.definition;
  if (s.mode != "Allow" && !s.unlocked)
    return "locked by default (overrideModeDefault=" + s.mode + ")";
  return "";
}

// The elements' paths from the root, each once, in order: comments,
// declarations and text left out.
std::vector<std::string> ElementPaths(const std::string& text, bool& whole) {
  std::vector<std::string> paths, stack;
  whole = true;
  for (std::size_t at = text.find('<'); at != std::string::npos; at = text.find('<', at)) {
    if (text.compare(at, 4, "<!--") == 0) {
      at = text.find("-->", at);
      if (at == std::string::npos) break;
      continue;
    }
    std::size_t end = text.find('>', at);
    if (end == std::string::npos) {
      whole = false;
      break;
    }
    std::string tag = text.substr(at + 1, end - at - 1);
    at = end + 1;
    if (tag.empty() || tag[0] == '?' || tag[0] == '!') continue;
    if (tag[0] == '/') {
      if (stack.empty())
        whole = false;
      else
        stack.pop_back();
      continue;
    }
    std::string name = tag.substr(0, tag.find_first_of(" \t\r\n/"));
    std::string path = stack.empty() ? name : stack.back() + "/" + name;
    paths.push_back(path);
    if (tag.back() != '/') stack.push_back(path);
  }
  if (!stack.empty()) whole = false;
  return paths;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fputs("usage: iis_config_check SECTIONS WEB_CONFIG...\n", stderr);
    return 2;
  }
  const std::map<std::string, Section> sections = ReadSections(argv[1]);
  const std::vector<std::string> groups = {
      "configuration/system.webServer", "configuration/system.webServer/security",
      "configuration/system.webServer/security/authentication"};
  int status = 0;
  for (int i = 2; i < argc; ++i) {
    std::ifstream in(argv[i], std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    bool whole = false;
    std::vector<std::string> paths = ElementPaths(text.str(), whole);
    if (!in || !whole || paths.empty() || paths[0] != "configuration") {
      std::fprintf(stderr, "%s: not a whole configuration file\n", argv[i]);
      return 2;
    }
    std::string found;
    for (const std::string& path : paths) {
      if (path == "configuration") continue;
      bool grouped = false;
      for (const std::string& group : groups) grouped = grouped || path == group;
      if (grouped) continue;
      // Elements inside a section are its own.
      bool inside = false;
      for (const auto& [name, s] : sections) {
        inside = inside || path.rfind("configuration/" + name + "/", 0) == 0;
      }
      if (inside) continue;
      std::string name = path.substr(std::string("configuration/").size());
      auto known = sections.find(name);
      std::string refusal = known == sections.end() ? "not a section IIS declares here (as far as "
                                                      "the list knows)"
                                                    : Refusal(known->second);
      if (!refusal.empty()) {
        std::fprintf(stderr, "%s: %s may not be set in a site's web.config: %s\n", argv[i],
                     name.c_str(), refusal.c_str());
        status = 1;
      }
      found += (found.empty() ? "" : ", ") + name;
    }
    std::printf("%s: %s\n", argv[i], found.c_str());
  }
  return status;
}
