#include "run_flow.hpp"

#include <cstring>

#include "console.hpp"
#include "messages.hpp"

namespace {

// Prints a catalogue message, with the path in place of its "%s".
void printMessage(MessageId id, const char* path = nullptr) {
    const char* text = MESSAGE_TEXT[id];
    const char* slot = std::strstr(text, "%s");
    if (slot == nullptr || path == nullptr) {
        printText(text);
        return;
    }
    char head[128];
    const std::size_t headLength = static_cast<std::size_t>(slot - text);
    std::memcpy(head, text, headLength);
    head[headLength] = '\0';
    printText(head);
    printBytes(path);
    printText(slot + 2);
}

void printBanner(const char* title) {
    printBytes(title);
    printText(BANNER_TITLE_TAIL);
    printText(BANNER_NOTICE);
}

// A run that ends before its verdict always says why and waits, batch or not:
// a script's user must see that a file was not renamed.
int endEarly(MessageId id) {
    printMessage(id);
    waitForEnter();
    return 0;
}

}  // namespace

void waitForEnter() {
    printMessage(MSG_PRESS_ENTER);
    readOneCharacter();
}

int runTool(int argc, char** argv, const char* title, Engine engine) {
    RunContext run;
    run.batch = argc > 2;
    run.targetPath = argc > 1 ? argv[1] : nullptr;

    consoleInit();
    if (!run.batch) {
        printBanner(title);
    }
    if (run.targetPath == nullptr) {
        return endEarly(MSG_NO_FILE);
    }
    if (!captureTimes(run.targetPath, run.times) || !openForEdit(run.targetPath, run.stream)) {
        return endEarly(MSG_CANNOT_OPEN);
    }
    if (!run.batch) {
        printMessage(MSG_TARGET, run.targetPath);
    }

    const EngineResult result = engine(run.stream);

    if (result.finish) {
        switch (finishEdit(run.stream, run.targetPath, run.times)) {
            case FinishStatus::CannotWrite:
                return endEarly(MSG_CANNOT_WRITE);
            case FinishStatus::CannotReopen:
                return endEarly(MSG_CANNOT_OPEN);
            case FinishStatus::Done:
                break;
        }
    }
    if (run.batch) {
        return 0;
    }
    printMessage(result.verdict == Verdict::NotRecognised ? MSG_NOT_RECOGNISED : MSG_FINISHED);
    waitForEnter();
    return 0;
}
