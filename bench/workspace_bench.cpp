// The workspace repository under the load of a large registration: the repository calls one
// registration makes (find by name, find by the name without extension, create, read the source
// attribute, one update with two attributes), for 10,000 objects in a fresh workspace database;
// then one group unregistration of all of them.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <string>

#include "svregistration/workspace/repository.h"
#include "workspace/repository/database.h"

namespace {

using svregistration::workspace::Database;
using svregistration::workspace::WorkspaceRepository;

std::string FreshDatabasePath() {
  std::filesystem::path folder = std::filesystem::temp_directory_path() / "svreg-workspace-bench";
  std::filesystem::remove_all(folder);
  std::filesystem::create_directories(folder);
  return (folder / "workspace.db").string();
}

void RegisterObjects(WorkspaceRepository& repository, int count) {
  for (int i = 0; i < count; ++i) {
    std::string base = "PROG" + std::to_string(i);
    std::string name = base + ".cbl";
    std::string attribute = repository.SchemaObjectType("COBOL")->SourceAttribute();
    auto object = repository.FindObject("COBOL", name, "");
    if (!object) object = repository.FindObject("COBOL", base, "");
    object = repository.NewObject("COBOL", name);
    benchmark::DoNotOptimize(object->GetAttribute(attribute));
    object->BeginUpdate();
    object->SetAttribute(attribute, "Sources/COBOL/" + name);
    object->SetAttribute("OriginalSource", "/in/" + name);
    object->EndUpdate();
  }
}

void BM_Register10000Objects(benchmark::State& state) {
  for (auto _ : state) {
    state.PauseTiming();
    auto repository = WorkspaceRepository::Make(Database::Create(FreshDatabasePath()));
    state.ResumeTiming();
    RegisterObjects(*repository, 10000);
  }
  state.SetItemsProcessed(state.iterations() * 10000);
}
BENCHMARK(BM_Register10000Objects)->Unit(benchmark::kMillisecond);

void BM_GroupUnregister10000Objects(benchmark::State& state) {
  for (auto _ : state) {
    state.PauseTiming();
    auto repository = WorkspaceRepository::Make(Database::Create(FreshDatabasePath()));
    RegisterObjects(*repository, 10000);
    svregistration::host::IdCollection ids;
    for (const auto& object : repository->ListObjects()) ids.push_back(object.id);
    svregistration::host::EntryList entries;
    state.ResumeTiming();
    repository->UnregisterObjects(ids, entries);
    benchmark::DoNotOptimize(entries.data());
  }
  state.SetItemsProcessed(state.iterations() * 10000);
}
BENCHMARK(BM_GroupUnregister10000Objects)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
