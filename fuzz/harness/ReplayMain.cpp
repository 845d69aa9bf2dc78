// Runs a fuzz target's harness once over every file of its corpus and reproducer folders,
// without fuzzing: the corpus test of the normal suite.
//
//   fuzz_replay_<target> FUZZ_DIR TARGET
//
// reads FUZZ_DIR/corpus/TARGET and FUZZ_DIR/reproducers/TARGET (all files below them) and
// FUZZ_DIR/known-failing.txt. Each file runs in a child process of its own, so an abort, a
// sanitizer report, an uncaught exception (std::terminate) or a hang (killed after
// kTimeLimit seconds) fails that file and names it, and the next file still runs. A file
// listed as known-failing is expected to fail and reported as skipped; if it passes, the
// list is stale and the test fails, as it does for a listed file that does not exist.

#include "harness/FuzzCheck.h"

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace fs = std::filesystem;

// Targets that need no set-up define no initialiser of their own.
extern "C" __attribute__((weak)) int LLVMFuzzerInitialize(int*, char***) {
    return 0;
}

namespace {

constexpr unsigned kTimeLimit = 60;

// known-failing.txt: one file a line, its path below FUZZ_DIR, then what fault it shows.
std::map<std::string, std::string> ReadKnownFailing(const fs::path& file) {
    std::map<std::string, std::string> known;
    std::ifstream in(file);
    std::string line;
    while (std::getline(in, line)) {
        size_t start = line.find_first_not_of(" \t");
        if (start == std::string::npos || line[start] == '#')
            continue;
        size_t end = line.find_first_of(" \t", start);
        std::string path = line.substr(start, end - start);
        std::string why = end == std::string::npos ? "" : line.substr(end);
        why.erase(0, why.find_first_not_of(" \t"));
        known[path] = why;
    }
    return known;
}

// How the child that ran one input ended: empty when it passed.
std::string RunOne(const fs::path& file, bool quiet) {
    std::cout.flush();
    std::cerr.flush();
    pid_t pid = fork();
    if (pid < 0)
        return "fork failed";
    if (pid == 0) {
        alarm(kTimeLimit);
        if (quiet) {
            if (FILE* null = std::freopen("/dev/null", "w", stderr); !null)
                _exit(3);
        }
        std::ifstream in(file, std::ios::binary);
        std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
        _exit(0);
    }
    int status = 0;
    if (waitpid(pid, &status, 0) != pid)
        return "lost the child";
    if (WIFEXITED(status))
        return WEXITSTATUS(status) == 0 ? "" : "exit status " + std::to_string(WEXITSTATUS(status));
    if (WIFSIGNALED(status)) {
        int sig = WTERMSIG(status);
        return std::string(sig == SIGALRM ? "timed out" : strsignal(sig)) + " (signal " +
               std::to_string(sig) + ")";
    }
    return "unknown end";
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::cerr << "usage: " << argv[0] << " FUZZ_DIR TARGET\n";
        return 2;
    }
    fs::path root = argv[1];
    std::string target = argv[2];
    std::map<std::string, std::string> known = ReadKnownFailing(root / "known-failing.txt");

    std::vector<std::string> files; // below root, sorted
    for (const char* folder : {"corpus", "reproducers"}) {
        fs::path dir = root / folder / target;
        if (!fs::is_directory(dir))
            continue;
        for (const auto& entry : fs::recursive_directory_iterator(dir)) {
            if (entry.is_regular_file())
                files.push_back(fs::relative(entry.path(), root).generic_string());
        }
    }
    std::sort(files.begin(), files.end());

    int argcInit = 1;
    char** argvInit = argv;
    LLVMFuzzerInitialize(&argcInit, &argvInit);

    int passed = 0, skipped = 0, failed = 0;
    std::set<std::string> seen;
    for (const std::string& name : files) {
        auto it = known.find(name);
        bool isKnown = it != known.end();
        seen.insert(name);
        std::string outcome = RunOne(root / name, isKnown);
        if (isKnown && !outcome.empty()) {
            ++skipped;
            std::cout << "SKIPPED (known failing) " << name << ": " << it->second << " [" << outcome
                      << "]" << std::endl;
        } else if (isKnown) {
            ++failed;
            std::cout << "FAILED " << name
                      << ": listed in known-failing.txt but passes now; remove its line"
                      << std::endl;
        } else if (!outcome.empty()) {
            ++failed;
            std::cout << "FAILED " << name << ": " << outcome << std::endl;
        } else {
            ++passed;
        }
    }
    std::string prefixes[] = {"corpus/" + target + "/", "reproducers/" + target + "/"};
    for (const auto& [name, why] : known) {
        bool mine = name.rfind(prefixes[0], 0) == 0 || name.rfind(prefixes[1], 0) == 0;
        if (mine && !seen.count(name)) {
            ++failed;
            std::cout << "FAILED " << name << ": listed in known-failing.txt but missing\n";
        }
    }
    std::cout << target << ": " << passed << " passed, " << skipped << " known failing skipped, "
              << failed << " failed\n";
    return failed == 0 && passed + skipped > 0 ? 0 : 1;
}
