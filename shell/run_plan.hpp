// The plan of a run: what the command line asks for, decided from its words
// and from what they name (whether a path exists, is a folder, or is matched
// by a wildcard): the options, the targets, and the kind of run. The files a
// target stands for are found as the run reaches it.
#pragma once

#include "platform/file.hpp"
#include "run_flow.hpp"

// What a run does.
enum class RunMode {
    Usage,          // /?, -?, -h or --help anywhere, where no such file exists
    Version,        // --version anywhere, where no such file exists
    UnknownOption,  // a word beginning with "--" that is no option and names nothing
    NoFile,         // no target
    OneFile,        // one file: the font (a wildcard that matches one file, or none, too)
    SeveralFiles,   // several files, or a folder: each in turn, and a summary
};

// How each file of a run is edited.
struct EditOptions {
    Direction direction;  // --revert, or a program whose own name holds "revert"
    bool dryRun;          // -n, --dry-run: the file is only read
    bool verbose;         // -v, --verbose: the names changed are listed
};

struct RunPlan {
    RunMode mode;
    EditOptions options;
    bool batch;       // a word after the first target that names nothing selects quiet runs
    int targetCount;  // the targets (files, folders, wildcards), in order, at targets
    char** targets;
    const char* unknownOption;  // UnknownOption: the first such word
};

// Takes the options out of argv (--revert, -n, --dry-run, -v, --verbose,
// short ones also together, as in -nv; the requests for help and for the
// version; wherever they stand, before the first "--", after which every
// word is a file name, and where no file of that name exists) and the batch
// words (a word after the first target that names nothing, has no font
// file's name and is no wildcard), and decides the run: help, the version or
// an unknown option before anything else, and otherwise from the targets
// left, which it moves to the front of argv, after the program name. A
// folder makes a run of several files, as does a wildcard that matches more
// than one. A word that looks like an option is never a batch word.
RunPlan planRun(int argc, char** argv);

// Whether path ends in .ttf, .otf or .ttc, in any case.
bool hasFontExtension(const char* path);

// What a target, or a file it stands for, turned out to be.
enum class Target {
    Named,               // a file named as it is, or matched by a wildcard
    InFolder,            // a font file found in a named folder or its subfolders
    NoMatch,             // a wildcard that matches nothing
    FolderWithoutFonts,  // a named folder holding no font file at all
    UnreadableFolder,    // a folder whose entries cannot be listed; cause says why
};

using TargetVisitor = void (*)(void* context, const char* path, Target target, OpenResult cause);

// Visits what the plan's targets stand for, in their order: a file as
// Named; a wildcard's matches in name order (a matched folder as a named
// one), or NoMatch; a folder's font files (.ttf, .otf, .ttc) as InFolder,
// in name order, each subfolder's at its name's place, and any folder that
// cannot be listed, or FolderWithoutFonts when it has nothing of either.
// Other files in a folder, and links to folders inside it, are passed over.
void forEachTarget(const RunPlan& plan, TargetVisitor visit, void* context);
