#include "messages.hpp"
#include "run_flow.hpp"
#include "scan_rename.hpp"

int main(int argc, char** argv) {
    return runTool(argc, argv, "Velnari", scanAndRename, VELNARI_PURPOSE);
}
