#include "run_plan.hpp"

#include <cstring>
#include <initializer_list>

namespace {

bool isOneOf(const char* word, std::initializer_list<const char*> words) {
    for (const char* candidate : words) {
        if (std::strcmp(word, candidate) == 0) {
            return true;
        }
    }
    return false;
}

// Whether the program's own file name (without its folder) holds "revert",
// in any case: a copy named Velnari-revert.exe reverts what is dropped on it.
bool nameAsksToRevert(const char* program) {
    const char* name = program;
    for (const char* c = program; *c != '\0'; ++c) {
        name = *c == '/' || *c == '\\' ? c + 1 : name;
    }
    constexpr char WORD[] = "revert";
    for (; *name != '\0'; ++name) {
        std::size_t matched = 0;
        while (WORD[matched] != '\0' && (name[matched] | 0x20) == WORD[matched]) {
            ++matched;
        }
        if (WORD[matched] == '\0') {
            return true;
        }
    }
    return false;
}

// What a word that begins like an option asks for.
enum class Request { None, Edit, Usage, Version, Unknown };

// A word of short options ("-n", or together, "-nv"): each letter one of n,
// v, h and ?. Any other single-dash word ("-b", "-") is a batch word, as
// scripts have used.
Request takeShortOptions(const char* word, EditOptions& options) {
    constexpr const char* LETTERS = "nvh?";
    if (word[0] != '-' || word[1] == '\0' || word[1 + std::strspn(word + 1, LETTERS)] != '\0') {
        return Request::None;
    }
    Request request = Request::Edit;
    for (const char* letter = word + 1; *letter != '\0'; ++letter) {
        options.dryRun = options.dryRun || *letter == 'n';
        options.verbose = options.verbose || *letter == 'v';
        request = *letter == 'h' || *letter == '?' ? Request::Usage : request;
    }
    return request;
}

// Takes word as an option into options, if it is one, and says what it asks
// for: an option of the edit, help, the version, or an unknown option (any
// other word beginning with "--").
Request takeOption(const char* word, EditOptions& options) {
    if (std::strcmp(word, "--revert") == 0) {
        options.direction = Direction::Revert;
    } else if (std::strcmp(word, "--dry-run") == 0) {
        options.dryRun = true;
    } else if (std::strcmp(word, "--verbose") == 0) {
        options.verbose = true;
    } else if (isOneOf(word, {"--help", "/?"})) {
        return Request::Usage;
    } else if (std::strcmp(word, "--version") == 0) {
        return Request::Version;
    } else if (std::strncmp(word, "--", 2) == 0) {
        return Request::Unknown;
    } else {
        return takeShortOptions(word, options);
    }
    return Request::Edit;
}

// A wildcard the program expands: one that names no file itself.
bool isPattern(const char* word) {
    return isWildcard(word) && !pathExists(word);
}

// Counts a wildcard's matches, a folder as two: it may stand for several files.
void countMatch(void* context, const char*, FoundEntry entry, OpenResult) {
    *static_cast<int*>(context) += entry == FoundEntry::Folder ? 2 : 1;
}

// Whether the plan's one target stands for one file: neither a folder nor a
// wildcard that matches several files, or a folder.
bool standsForOneFile(const char* target) {
    if (isPattern(target)) {
        int matches = 0;
        matchWildcard(target, countMatch, &matches);
        return matches <= 1;
    }
    return pathKind(target) != PathKind::Folder;
}

// A walk of a named folder: its font files and unreadable folders go on to
// the run; whether it found any tells a folder without fonts.
struct FolderWalk {
    TargetVisitor visit;
    void* context;
    bool found;
};

void visitInFolder(void* context, const char* path, FoundEntry entry, OpenResult cause) {
    FolderWalk& walk = *static_cast<FolderWalk*>(context);
    if (entry == FoundEntry::Unreadable) {
        walk.found = true;
        walk.visit(walk.context, path, Target::UnreadableFolder, cause);
    } else if (hasFontExtension(path)) {
        walk.found = true;
        walk.visit(walk.context, path, Target::InFolder, cause);
    }
}

void visitFolder(const char* folder, TargetVisitor visit, void* context) {
    FolderWalk walk{visit, context, false};
    walkFolder(folder, visitInFolder, &walk);
    if (!walk.found) {
        visit(context, folder, Target::FolderWithoutFonts, OpenResult{});
    }
}

// A wildcard's matches, each as if it had been named.
struct Matches {
    TargetVisitor visit;
    void* context;
};

void visitMatch(void* context, const char* path, FoundEntry entry, OpenResult cause) {
    const Matches& matches = *static_cast<const Matches*>(context);
    if (entry == FoundEntry::Folder) {
        visitFolder(path, matches.visit, matches.context);
    } else {
        matches.visit(matches.context, path, Target::Named, cause);
    }
}

}  // namespace

bool hasFontExtension(const char* path) {
    const std::size_t length = std::strlen(path);
    if (length < 4 || path[length - 4] != '.') {
        return false;
    }
    char extension[4] = {};
    for (std::size_t i = 0; i < 3; ++i) {
        const char c = path[length - 3 + i];
        extension[i] = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    }
    return isOneOf(extension, {"ttf", "otf", "ttc"});
}

RunPlan planRun(int argc, char** argv) {
    const bool revert = argc > 0 && argv[0] != nullptr && nameAsksToRevert(argv[0]);
    RunPlan plan{RunMode::NoFile, {revert ? Direction::Revert : Direction::Rename, false, false},
                 false,           0,
                 argv + 1,        nullptr};
    bool optionsEnded = false;
    bool usage = false;
    bool version = false;
    for (int i = 1; i < argc; ++i) {
        char* word = argv[i];
        if (!optionsEnded && std::strcmp(word, "--") == 0) {
            optionsEnded = true;
            continue;
        }
        const bool exists = pathExists(word);
        const Request request =
            optionsEnded || exists ? Request::None : takeOption(word, plan.options);
        usage = usage || request == Request::Usage;
        version = version || request == Request::Version;
        if (request == Request::Unknown && plan.unknownOption == nullptr) {
            plan.unknownOption = word;
        }
        if (request != Request::None) {
            continue;
        }
        // A word after the first that names nothing, has no font file's name
        // and is no wildcard is the word that asks for quiet runs.
        const bool batchWord =
            plan.targetCount > 0 && !exists && !hasFontExtension(word) && !isWildcard(word);
        plan.batch = plan.batch || batchWord;
        if (!batchWord) {
            plan.targets[plan.targetCount++] =
                word;  // never past i - 1: argv is compacted in place
        }
    }
    if (usage || version || plan.unknownOption != nullptr) {
        plan.mode = usage ? RunMode::Usage : version ? RunMode::Version : RunMode::UnknownOption;
    } else if (plan.targetCount == 0) {
        plan.mode = RunMode::NoFile;
    } else if (plan.targetCount > 1 || !standsForOneFile(plan.targets[0])) {
        plan.mode = RunMode::SeveralFiles;
    } else {
        plan.mode = RunMode::OneFile;
    }
    return plan;
}

void forEachTarget(const RunPlan& plan, TargetVisitor visit, void* context) {
    for (int i = 0; i < plan.targetCount; ++i) {
        const char* target = plan.targets[i];
        Matches matches{visit, context};
        if (isPattern(target)) {
            if (matchWildcard(target, visitMatch, &matches) == 0) {
                visit(context, target, Target::NoMatch, OpenResult{});
            }
        } else if (pathKind(target) == PathKind::Folder) {
            visitFolder(target, visit, context);
        } else {
            visit(context, target, Target::Named, OpenResult{});
        }
    }
}
