#include "run_flow.hpp"

#include <cstring>
#include <initializer_list>

#include "console.hpp"
#include "messages.hpp"

namespace {

// Prints catalogue text, with insert (a path, a name) in place of its "%s".
void printWith(const char* text, const char* insert) {
    const char* slot = std::strstr(text, "%s");
    char head[128];
    if (slot == nullptr || insert == nullptr ||
        static_cast<std::size_t>(slot - text) >= sizeof head) {
        printText(text);
        return;
    }
    const std::size_t headLength = static_cast<std::size_t>(slot - text);
    std::memcpy(head, text, headLength);
    head[headLength] = '\0';
    printText(head);
    printPath(insert);
    printText(slot + 2);
}

void printMessage(MessageId id, const char* path = nullptr) {
    printWith(MESSAGE_TEXT[id], path);
}

void printBanner(const char* title) {
    printPath(title);
    printText(BANNER_TITLE_TAIL);
    printText(BANNER_NOTICE);
}

// A run that ends before its verdict always says why and waits, batch or not:
// a script's user must see that a file was not renamed.
int endEarly(MessageId id, Outcome outcome) {
    printMessage(id);
    waitForEnter();
    return outcome;
}

bool asksForHelp(int argc, char** argv) {
    if (argc != 2 || isRegularFile(argv[1])) {
        return false;
    }
    for (const char* word : {"/?", "-?", "-h", "--help"}) {
        if (std::strcmp(argv[1], word) == 0) {
            return true;
        }
    }
    return false;
}

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
    return std::strcmp(extension, "ttf") == 0 || std::strcmp(extension, "otf") == 0 ||
           std::strcmp(extension, "ttc") == 0;
}

// Several fonts dropped at once: every argument after the first is a font
// file. Anything else after the first argument is the batch word.
bool namesSeveralFonts(int argc, char** argv) {
    if (argc < 3) {
        return false;
    }
    for (int i = 2; i < argc; ++i) {
        if (!hasFontExtension(argv[i]) || !isRegularFile(argv[i])) {
            return false;
        }
    }
    return true;
}

struct FileResult {
    Outcome outcome;
    MessageId message;  // the verdict, or why the file was not renamed
};

// Opens, edits and finishes one file. The file is closed, and its times are
// back, before this returns: nobody waits on our prompt to use the file.
// The target line is printed once the file is open, when announce is set.
FileResult editFile(RunContext& run, Engine engine, bool announce) {
    if (!captureTimes(run.targetPath, run.file, run.times) || !openForEdit(run.file, run.stream)) {
        return {OUTCOME_CANNOT_OPEN, MSG_CANNOT_OPEN};
    }
    if (announce) {
        printMessage(MSG_TARGET, run.targetPath);
    }
    const EngineResult result = engine(run.stream);
    if (!result.finish) {
        closeEditStream(run.stream);  // nothing was written
    } else {
        switch (finishEdit(run.stream, run.times)) {
            case FinishStatus::CannotWrite:
                return {OUTCOME_CANNOT_WRITE, MSG_CANNOT_WRITE};
            case FinishStatus::TimesNotKept:
                return {OUTCOME_TIMES_LOST, MSG_TIMES_NOT_KEPT};
            case FinishStatus::Done:
                break;
        }
    }
    // Whether the file changed is the stream's to say; the verdict is what
    // the engine found (Velnari says "finished" after a file with no names).
    return {run.stream.written ? OUTCOME_RENAMED : OUTCOME_UNCHANGED,
            result.verdict == Verdict::NotRecognised ? MSG_NOT_RECOGNISED : MSG_FINISHED};
}

// Each file in turn, each with its own time-keeping edit; a failure on one
// does not stop the others. One prompt at the end.
int editSeveral(RunContext& run, int argc, char** argv, Engine engine) {
    int worst = OUTCOME_RENAMED;
    for (int i = 1; i < argc; ++i) {
        run.targetPath = argv[i];
        printMessage(MSG_TARGET, run.targetPath);
        const FileResult result = editFile(run, engine, false);
        printMessage(result.message);
        worst = result.outcome > worst ? result.outcome : worst;
    }
    waitForEnter();
    return worst;
}

void printUsage(const char* title) {
    for (const char* line : USAGE_LINES) {
        printWith(line, title);
    }
}

}  // namespace

void waitForEnter() {
    printMessage(MSG_PRESS_ENTER);
    readOneCharacter();
}

int runTool(int argc, char** argv, const char* title, Engine engine) {
    consoleInit();
    argv = commandLine(argc, argv);
    if (asksForHelp(argc, argv)) {
        printUsage(title);
        return 0;
    }
    const bool several = namesSeveralFonts(argc, argv);

    RunContext run;
    run.batch = argc > 2 && !several;
    run.targetPath = argc > 1 ? argv[1] : nullptr;
    if (!run.batch) {
        printBanner(title);
    }
    if (run.targetPath == nullptr) {
        return endEarly(MSG_NO_FILE, OUTCOME_CANNOT_OPEN);
    }
    if (several) {
        return editSeveral(run, argc, argv, engine);
    }
    const FileResult result = editFile(run, engine, !run.batch);
    if (result.outcome >= OUTCOME_CANNOT_OPEN) {
        return endEarly(result.message, result.outcome);
    }
    if (!run.batch) {
        printMessage(result.message);
        waitForEnter();
    }
    return result.outcome;
}
