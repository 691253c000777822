#include "messages.hpp"
#include "patch_rename.hpp"
#include "run_flow.hpp"

int main(int argc, char** argv) {
    return runTool(argc, argv, "VelnariL", patchAndRename, VELNARIL_PURPOSE);
}
