// Runs a program through the shell and keeps its exit status, its output
// and its error output, for tests of the command-line tools.
#pragma once

#include <cstdio>
#include <string>
#include <sys/wait.h>
#include <vector>

#include "TempDir.h"

struct Outcome {
    int exitCode = -1;
    std::string out;
    std::string err;
};

inline std::string Quoted(const std::string& argument) {
    std::string quoted = "'";
    for (const char c : argument) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

inline Outcome RunProgram(const std::string& program, const std::vector<std::string>& arguments) {
    TempDir scratch;
    const std::string errors = scratch.File("stderr");
    std::string command = Quoted(program);
    for (const std::string& argument : arguments) command += " " + Quoted(argument);
    command += " 2>" + Quoted(errors);
    Outcome outcome;
    std::FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return outcome;
    char chunk[4096];
    size_t count = 0;
    while ((count = std::fread(chunk, 1, sizeof chunk, pipe)) > 0) outcome.out.append(chunk, count);
    const int status = pclose(pipe);
    outcome.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    outcome.err = ReadBytes(errors);
    return outcome;
}
