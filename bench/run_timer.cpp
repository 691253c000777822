// Times whole processes: spawns each command, waits for it, and measures the
// wall time with a monotonic clock, so that the measure holds no shell and no
// interpreter. Before every run, the target file is put back from a pristine
// copy (not timed), so that every run renames a fresh font.
//
//   run_timer alternate N PRISTINE TARGET -- CMD_A... -- CMD_B...
//       N alternating runs of A and B; prints the median wall time of each
//       (microseconds) and the median of the per-pair ratios B/A.
//   run_timer sequence N PRISTINE DIR -- CMD...
//       copies PRISTINE to N files in DIR, then runs CMD once per file, the
//       file's path in place of the argument "{}", one after another; prints
//       the total (microseconds).
//   run_timer folder R N PRISTINE DIR -- CMD...
//       R alternating rounds, each on N fresh copies of PRISTINE in DIR: CMD
//       with the N files named in place of "{}", then CMD with DIR in its
//       place; prints the median wall time of each (microseconds) and the
//       median of the per-round ratios folder/named.
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

void copyFile(const std::string& from, const std::string& to) {
    std::ifstream in(from, std::ios::binary);
    std::ofstream out(to, std::ios::binary | std::ios::trunc);
    out << in.rdbuf();
}

// Runs argv with standard input and output on /dev/null; returns microseconds.
double timeRun(std::vector<char*> argv) {
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    const auto start = Clock::now();
    pid_t pid = 0;
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) {
        std::perror(argv[0]);
        std::exit(1);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    const auto end = Clock::now();
    posix_spawn_file_actions_destroy(&actions);
    return std::chrono::duration<double, std::micro>(end - start).count();
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// Splits "-- A... -- B..." into commands.
std::vector<std::vector<char*>> commands(int argc, char** argv, int from) {
    std::vector<std::vector<char*>> out;
    for (int i = from; i < argc; ++i) {
        if (std::strcmp(argv[i], "--") == 0) {
            out.emplace_back();
        } else if (!out.empty()) {
            out.back().push_back(argv[i]);
        }
    }
    return out;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc > 5 && std::strcmp(argv[1], "alternate") == 0) {
        const int n = std::atoi(argv[2]);
        const std::string pristine = argv[3];
        const std::string target = argv[4];
        const auto cmds = commands(argc, argv, 5);
        if (cmds.size() != 2) {
            return 2;
        }
        std::vector<double> a, b, ratios;
        for (int i = 0; i < n; ++i) {
            copyFile(pristine, target);
            a.push_back(timeRun(cmds[0]));
            copyFile(pristine, target);
            b.push_back(timeRun(cmds[1]));
            ratios.push_back(b.back() / a.back());
        }
        std::printf("%.1f %.1f %.3f\n", median(a), median(b), median(ratios));
        return 0;
    }
    if (argc > 5 && std::strcmp(argv[1], "sequence") == 0) {
        const int n = std::atoi(argv[2]);
        const std::string pristine = argv[3];
        const std::string dir = argv[4];
        const auto cmds = commands(argc, argv, 5);
        if (cmds.size() != 1) {
            return 2;
        }
        std::vector<std::string> files;
        for (int i = 0; i < n; ++i) {
            files.push_back(dir + "/font" + std::to_string(i) + ".ttf");
            copyFile(pristine, files.back());
        }
        double total = 0;
        for (std::string& file : files) {
            std::vector<char*> cmd = cmds[0];
            std::replace_if(
                cmd.begin(), cmd.end(), [](char* arg) { return std::strcmp(arg, "{}") == 0; },
                file.data());
            total += timeRun(cmd);
        }
        std::printf("%.1f\n", total);
        return 0;
    }
    if (argc > 6 && std::strcmp(argv[1], "folder") == 0) {
        const int rounds = std::atoi(argv[2]);
        const int n = std::atoi(argv[3]);
        const std::string pristine = argv[4];
        std::string dir = argv[5];
        const auto cmds = commands(argc, argv, 6);
        if (cmds.size() != 1) {
            return 2;
        }
        std::vector<std::string> files;
        files.reserve(static_cast<std::size_t>(n));
        for (int i = 0; i < n; ++i) {
            files.push_back(dir + "/font" + std::to_string(i) + ".ttf");
        }
        // The command with "{}" replaced by the given arguments.
        const auto with = [&cmds](const std::vector<char*>& arguments) {
            std::vector<char*> cmd;
            for (char* arg : cmds[0]) {
                if (std::strcmp(arg, "{}") == 0) {
                    cmd.insert(cmd.end(), arguments.begin(), arguments.end());
                } else {
                    cmd.push_back(arg);
                }
            }
            return cmd;
        };
        std::vector<char*> named;
        named.reserve(files.size());
        for (std::string& file : files) {
            named.push_back(file.data());
        }
        std::vector<double> a, b, ratios;
        for (int round = 0; round < rounds; ++round) {
            for (const std::string& file : files) {
                copyFile(pristine, file);
            }
            a.push_back(timeRun(with(named)));
            for (const std::string& file : files) {
                copyFile(pristine, file);
            }
            b.push_back(timeRun(with({dir.data()})));
            ratios.push_back(b.back() / a.back());
        }
        std::printf("%.1f %.1f %.3f\n", median(a), median(b), median(ratios));
        return 0;
    }
    std::fprintf(stderr, "usage: see the comment at the top of run_timer.cpp\n");
    return 2;
}
