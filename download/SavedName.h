// The names under which a download is kept where the user keeps files: the server's name made safe to save and
// to hand to the shell, and the next free name beside a file that is already there.
#pragma once

#include <string>
#include <string_view>

namespace download {

// The server's name for a file the user keeps, as it is saved: without invisible formatting characters (a
// right-to-left override must not make a program look like a document), and with every "%" replaced by "_". The
// shell expands "%NAME%" in a path it is given, so a name holding one could mean another file when it is opened;
// "_" keeps the name's length and shape (and never empties it), as browsers do with characters a name cannot
// hold. Nothing else changes: a name without an extension keeps the one the server chose.
std::wstring MakeSavedName(std::wstring_view serverName);

// `name` numbered the way browsers number a second copy: "Quarvel Setup (1).exe", "Quarvel Setup (2).exe"; the
// number goes before the extension (the text from the last dot, unless that dot starts the name). The stem is
// shortened, when it must be, so that the result holds at most `maxChars` characters; empty when even that
// cannot be done.
std::wstring MakeNumberedName(const std::wstring& name, int number, std::size_t maxChars);

// True when the shell, given `path`, opens that very path: it expands "%NAME%" in what it is given, whatever the
// caller meant.
bool MeansItself(const std::wstring& path);

}  // namespace download
