// Registers sources into a workspace kept by the installed reference workspace host (its
// repository in workspace.db), lists what the workspace holds, and refreshes the first object.
// Usage: workspace_register WORKSPACE_FOLDER SOURCE_FILE...
// The folder is made into a workspace when it holds none.
#include <svregistration/error.h>
#include <svregistration/sv_standard.h>
#include <svregistration/workspace/batch.h>
#include <svregistration/workspace/workspace_host.h>

#include <cstdio>
#include <filesystem>

using namespace svregistration;

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: workspace_register WORKSPACE_FOLDER SOURCE_FILE...\n");
    return 2;
  }
  try {
    const std::string folder = argv[1];
    auto workspace = std::filesystem::exists(std::filesystem::path(folder) / "workspace.db")
                         ? workspace::WorkspaceHost::Open(folder)
                         : workspace::WorkspaceHost::Create(folder);
    workspace::RecoverInterruptedWork(workspace);  // what a killed run of another tool left

    SVStandard service;
    int failures = 0;
    {
      workspace::Batch batch(*workspace);  // commits every quarter second, not every file
      for (int i = 2; i < argc; ++i) {
        std::string name = std::filesystem::path(argv[i]).stem().string();
        const int result = service.RegisterEx(workspace, "COBOL", name, argv[i]);
        std::printf("%s: %s %s\n", argv[i], ResultName(result),
                    service.RegisteredObjectId().c_str());
        failures += result != rOK;
      }
      batch.End();
    }

    for (const workspace::ObjectInfo& object :
         workspace->workspace_repository()->ListObjects("COBOL")) {
      std::printf("%s %s %s <- %s\n", object.id.c_str(), object.name.c_str(), object.source.c_str(),
                  object.original.c_str());
    }
    const auto objects = workspace->workspace_repository()->ListObjects("COBOL");
    if (!objects.empty()) {
      long copied = 0;
      const int refreshed = service.RefreshSource(workspace, objects.front().id, copied);
      std::printf("refresh %s: %s, %ld copied\n", objects.front().id.c_str(), ResultName(refreshed),
                  copied);
    }
    return failures == 0 ? 0 : 1;
  } catch (const Error& e) {
    std::fprintf(stderr, "workspace_register: %s (%d)\n", e.description().c_str(), e.number());
    return 2;
  }
}
