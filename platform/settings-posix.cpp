// The settings store outside Windows: ${XDG_CONFIG_HOME:-$HOME/.config}/<app>/settings.ini,
// read with inih. Section and key names match without regard to letter case, as registry
// names do.
//
// inih hands its handler at most one buffer of a line (a limit fixed when the library was
// built). A value cut at that limit would name another directory, so such a value raises
// an error instead of being returned shortened.
#include <ini.h>
#include <stdio.h>
#include <string.h>
#include <strings.h>

#include <cstdlib>
#include <memory>
#include <string>

#include "platform/codepage.h"
#include "platform/error.h"
#include "platform/settings.h"

namespace nocunzip::platform {
namespace {

struct Lookup {
  std::string section;
  std::string key;
  std::string value;
  bool found = false;
  bool value_cut = false;
  FILE* file = nullptr;
  bool chunk_cut = false;  // the piece of a line being parsed is not the whole line
  bool in_long_line = false;
};

// Reads like fgets and notes whether the piece handed to inih is only part of a line.
char* ReadPiece(char* buffer, int size, void* stream) {
  auto* lookup = static_cast<Lookup*>(stream);
  const bool continues = lookup->in_long_line;
  char* piece = fgets(buffer, size, lookup->file);
  if (!piece) return nullptr;
  const size_t length = strlen(piece);
  lookup->in_long_line = length > 0 && piece[length - 1] != '\n' && !feof(lookup->file);
  lookup->chunk_cut = continues || lookup->in_long_line;
  return piece;
}

int OnEntry(void* user, const char* section, const char* name, const char* value) {
  auto* lookup = static_cast<Lookup*>(user);
  if (!lookup->found && strcasecmp(section, lookup->section.c_str()) == 0 &&
      strcasecmp(name, lookup->key.c_str()) == 0) {
    lookup->value = value;
    lookup->found = true;
    lookup->value_cut = lookup->chunk_cut;
  }
  return 1;  // keep going: a syntax error further down must not hide the value
}

std::string SettingsFile(const std::wstring& app) {
  std::string base;
  if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg) {
    base = xdg;
  } else if (const char* home = std::getenv("HOME"); home && *home) {
    base = std::string(home) + "/.config";
  } else {
    return std::string();
  }
  return base + "/" + ToAnsi(app) + "/settings.ini";
}

}  // namespace

std::wstring GetSetting(const std::wstring& app, const std::wstring& section,
                        const std::wstring& key) {
  std::string file = SettingsFile(app);
  if (file.empty()) return std::wstring();
  struct Closer {
    void operator()(FILE* f) const { fclose(f); }
  };
  std::unique_ptr<FILE, Closer> stream(fopen(file.c_str(), "rbe"));
  // A missing or unreadable file reads as an empty store.
  if (!stream) return std::wstring();
  Lookup lookup;
  lookup.section = ToAnsi(section);
  lookup.key = ToAnsi(key);
  lookup.file = stream.get();
  ini_parse_stream(ReadPiece, &lookup, OnEntry, &lookup);
  if (lookup.value_cut) {
    throw ProgramError(
        kErrPathFileAccess, L"NocUnzip",
        L"The line of " + key + L" in " + FromAnsi(file) + L" is too long to be read");
  }
  return FromAnsi(lookup.value);
}

}  // namespace nocunzip::platform
