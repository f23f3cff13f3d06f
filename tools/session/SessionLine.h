// One line of a scripting session: the words of a qorvelctl command line,
// as a shell would split them. Portable.
#pragma once

#include <string>
#include <string_view>
#include <vector>

// What a session line asks for.
enum class SessionLineKind {
    Ignored,  // empty, blank, or a comment ("#" first)
    Quit,     // "quit": the session ends
    Command,  // words to run as a qorvelctl command
    Bad,      // a quote left open; problem says so
};

struct SessionLine {
    SessionLineKind kind = SessionLineKind::Ignored;
    std::vector<std::string> words;
    std::string problem;
};

// Splits a line into words at blanks (spaces and tabs). A double quote
// groups what it encloses into one word, blanks included ("C:\My waves\a.csv"),
// and "" inside quotes stands for one quote; backslashes are kept as they are,
// so Windows paths need no doubling. A trailing CR (a CR LF line) is dropped.
SessionLine ReadSessionLine(std::string_view line);
