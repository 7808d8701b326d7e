#include "platform/sim/registry_views.h"

#include <memory>

#include "base/text.h"
#include "platform/sim/hive_format.h"

namespace bc::platform::sim {
namespace {

using hive::SameName;

// The keys the Windows documentation lists for Windows 7; sub-keys inherit their parent's rule.
// Below HKLM\SOFTWARE everything is redirected except these shared keys.
constexpr std::u16string_view kSharedBelowSoftware[] = {
    u"Clients",
    u"Microsoft\\COM3",
    u"Microsoft\\Cryptography\\Calais\\Current",
    u"Microsoft\\Cryptography\\Calais\\Readers",
    u"Microsoft\\Cryptography\\Services",
    u"Microsoft\\CTF\\SystemShared",
    u"Microsoft\\CTF\\TIP",
    u"Microsoft\\DFS",
    u"Microsoft\\Driver Signing",
    u"Microsoft\\EnterpriseCertificates",
    u"Microsoft\\EventSystem",
    u"Microsoft\\MSMQ",
    u"Microsoft\\Non-Driver Signing",
    u"Microsoft\\Notepad\\DefaultFonts",
    u"Microsoft\\OLE",
    u"Microsoft\\RAS",
    u"Microsoft\\RPC",
    u"Microsoft\\Shared Tools\\MSInfo",
    u"Microsoft\\SystemCertificates",
    u"Microsoft\\TermServLicensing",
    u"Microsoft\\TransactionServer",
    u"Microsoft\\Windows\\CurrentVersion\\App Management",
    u"Microsoft\\Windows\\CurrentVersion\\Control Panel\\Cursors\\Schemes",
    u"Microsoft\\Windows\\CurrentVersion\\Explorer\\AutoplayHandlers",
    u"Microsoft\\Windows\\CurrentVersion\\Explorer\\DriveIcons",
    u"Microsoft\\Windows\\CurrentVersion\\Explorer\\KindMap",
    u"Microsoft\\Windows\\CurrentVersion\\Group Policy",
    u"Microsoft\\Windows\\CurrentVersion\\Policies",
    u"Microsoft\\Windows\\CurrentVersion\\PreviewHandlers",
    u"Microsoft\\Windows\\CurrentVersion\\Setup",
    u"Microsoft\\Windows\\CurrentVersion\\Telephony\\Locations",
    u"Microsoft\\Windows NT\\CurrentVersion\\Console",
    u"Microsoft\\Windows NT\\CurrentVersion\\FontDpi",
    u"Microsoft\\Windows NT\\CurrentVersion\\FontLink",
    u"Microsoft\\Windows NT\\CurrentVersion\\FontMapper",
    u"Microsoft\\Windows NT\\CurrentVersion\\Fonts",
    u"Microsoft\\Windows NT\\CurrentVersion\\FontSubstitutes",
    u"Microsoft\\Windows NT\\CurrentVersion\\Gre_Initialize",
    u"Microsoft\\Windows NT\\CurrentVersion\\Image File Execution Options",
    u"Microsoft\\Windows NT\\CurrentVersion\\LanguagePack",
    u"Microsoft\\Windows NT\\CurrentVersion\\NetworkCards",
    u"Microsoft\\Windows NT\\CurrentVersion\\Perflib",
    u"Microsoft\\Windows NT\\CurrentVersion\\Ports",
    u"Microsoft\\Windows NT\\CurrentVersion\\Print",
    u"Microsoft\\Windows NT\\CurrentVersion\\ProfileList",
    u"Microsoft\\Windows NT\\CurrentVersion\\Time Zones",
    u"Policies",
    u"RegisteredApplications",
};
// Below a classes root everything is shared except these redirected keys.
constexpr std::u16string_view kRedirectedBelowClasses[] = {
    u"CLSID", u"DirectShow", u"Interface", u"Media Type", u"MediaFoundation",
};

struct Trie {
  std::u16string name;
  bool hasRule = false;
  bool redirected = false;
  bool classesBase = false;  // "Classes" below SOFTWARE starts the classes rules
  std::vector<std::unique_ptr<Trie>> children;

  Trie* Find(std::u16string_view n) const {
    for (const auto& c : children) {
      if (SameName(c->name, n)) return c.get();
    }
    return nullptr;
  }
  Trie& Add(std::u16string_view path) {
    Trie* t = this;
    for (auto part : SplitAll(path, u'\\')) {
      Trie* next = t->Find(part);
      if (!next) {
        t->children.push_back(std::make_unique<Trie>());
        next = t->children.back().get();
        next->name = std::u16string(part);
      }
      t = next;
    }
    return *t;
  }
};

struct Rules {
  Trie software;  // root: HKLM\SOFTWARE, redirected
  Trie classes;   // root: a classes root, shared
  Rules() {
    software.hasRule = true;
    software.redirected = true;
    for (auto p : kSharedBelowSoftware) {
      Trie& t = software.Add(p);
      t.hasRule = true;
      t.redirected = false;
    }
    Trie& cls = software.Add(u"Classes");
    cls.hasRule = true;
    cls.redirected = false;
    cls.classesBase = true;
    classes.hasRule = true;
    classes.redirected = false;
    for (auto p : kRedirectedBelowClasses) {
      Trie& t = classes.Add(p);
      t.hasRule = true;
      t.redirected = true;
    }
  }
};

const Rules& TheRules() {
  static const Rules rules;  // immutable table, built on first use
  return rules;
}

}  // namespace

ViewMapping MapView(ViewSpace space, const std::vector<std::u16string_view>& logical, bool view32) {
  ViewMapping m;
  const auto copyAll = [&] { m.physical.assign(logical.begin(), logical.end()); };
  // Find the first base (the branch the rules start from).
  std::size_t base = 0;
  const Trie* trie = nullptr;
  switch (space) {
    case ViewSpace::kMachine:
      if (logical.empty()) {
        copyAll();
        return m;
      }
      if (!SameName(logical[0], u"SOFTWARE")) {
        copyAll();
        m.settled = true;
        return m;
      }
      base = 1;
      trie = &TheRules().software;
      break;
    case ViewSpace::kUsers:
      if (logical.empty()) {
        copyAll();
        return m;
      }
      if (EndsWithNoCase(logical[0], u"_Classes")) {
        base = 1;
      } else if (logical.size() >= 3 && SameName(logical[1], u"Software") &&
                 SameName(logical[2], u"Classes")) {
        base = 3;
      } else {
        copyAll();
        // "<SID>" and "<SID>\Software" may still lead to "Software\Classes".
        m.settled =
            !(logical.size() == 1 || (logical.size() == 2 && SameName(logical[1], u"Software")));
        return m;
      }
      trie = &TheRules().classes;
      break;
    case ViewSpace::kClasses:
      base = 0;
      trie = &TheRules().classes;
      break;
  }

  bool redirected = trie->redirected;
  std::size_t i = base;
  for (; i < logical.size(); ++i) {
    if (i == base && SameName(logical[i], kWow6432Node)) {
      // A path that names the 32-bit branch itself is taken literally.
      copyAll();
      m.settled = true;
      return m;
    }
    const Trie* next = trie ? trie->Find(logical[i]) : nullptr;
    if (!next) {
      trie = nullptr;
      continue;
    }
    trie = next;
    if (next->hasRule) redirected = next->redirected;
    if (next->classesBase) {
      base = i + 1;
      trie = &TheRules().classes;
      redirected = trie->redirected;
    }
  }
  m.settled = !trie || trie->children.empty();
  if (!(view32 && redirected)) {
    copyAll();
    return m;
  }
  m.physical.assign(logical.begin(), logical.begin() + static_cast<std::ptrdiff_t>(base));
  m.physical.emplace_back(kWow6432Node);
  m.physical.insert(m.physical.end(), logical.begin() + static_cast<std::ptrdiff_t>(base),
                    logical.end());
  return m;
}

}  // namespace bc::platform::sim
