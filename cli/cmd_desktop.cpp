// The programs in the desktop's application menu and the ".mvm" association, as the
// installation adds them and the uninstallation takes them away again.
#include <cstdio>

#include "Command.h"
#include "FileAssociation.h"
#include "ProgramFolder.h"

namespace murmel::cli {
namespace {

int Desktop(const Arguments& arguments) {
    if (arguments.size() != 1 || (arguments[0] != "install" && arguments[0] != "remove"))
        throw UsageError("expected install or remove");
    const DesktopFolders folders = DesktopFolders::FromEnvironment();
    if (arguments[0] == "install") {
        InstallLaunchers(ProgramFolder(), folders);
        std::printf("launchers and the .mvm type added under %s\n", folders.data.c_str());
    } else {
        RemoveDesktopIntegration(ProgramFolder(), folders);
        std::printf("launchers and the .mvm type removed from %s\n", folders.data.c_str());
    }
    return 0;
}

const RegisterCommand desktop({"desktop", "install|remove", Desktop});

}  // namespace
}  // namespace murmel::cli
