// Several svreg processes registering into one workspace at once, one of them killed midway and
// another unregistering: the others complete, every recorded object has its whole copy, and
// registering the killed writer's folder again completes it.
#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <map>
#include <nlohmann/json.hpp>
#include <thread>

#include "svreg/workspace_fixture.h"

namespace svregistration {
namespace {

using nlohmann::json;
using testing::ReadFile;

class SvregConcurrency : public testing::SvregWorkspaceTest {
 protected:
  // Files named <prefix><n><extension> in <prefix>/; each text tells its file from every other.
  std::string MakeTree(const std::string& prefix, int files,
                       const std::string& extension = ".cbl") {
    for (int i = 0; i < files; ++i) {
      std::string name = prefix + std::to_string(i);
      dir_.Write(prefix + "/" + name + extension, "       PROGRAM-ID. " + name + ".\n");
    }
    return dir_ / prefix;
  }

  // Every COBOL object by name, after checking that its copy equals its original.
  std::map<std::string, std::string> RegisteredWithWholeCopies() {
    std::map<std::string, std::string> objects;
    const json listed = Json({"objects", ws_, "--type", "COBOL"});
    for (const auto& object : listed["objects"]) {
      std::string source = object["source"], original = object["original"];
      EXPECT_FALSE(source.empty()) << object.dump();
      EXPECT_EQ(ReadFile(ws_ + "/" + source), ReadFile(original)) << object.dump();
      objects[object["name"].get<std::string>()] = source;
    }
    return objects;
  }
};

TEST_P(SvregConcurrency, FourWritersAndARemoverCompleteAndAKilledWriterLeavesTheWorkspaceWhole) {
  constexpr int kFilesEach = 120;
  constexpr int kVictimFiles = 1500;
  // Copybooks registered before, unregistered while the others register.
  std::vector<std::string> unregister{"unregister", ws_};
  const json copybooks = Json({"register", ws_, "--type", "COPYBOOK", MakeTree("U_", 40, ".cpy")});
  for (const auto& result : copybooks["results"]) unregister.push_back(result["id"]);
  std::vector<int> writers;
  for (int w = 0; w < 4; ++w) {
    std::string prefix = "W" + std::to_string(w) + "_";
    writers.push_back(testing::StartSvreg(
        {"register", ws_, "--type", "COBOL", MakeTree(prefix, kFilesEach), "--json"},
        dir_ / (prefix + ".out"), dir_ / (prefix + ".err")));
  }
  int remover = testing::StartSvreg(unregister, dir_ / "U.out", dir_ / "U.err");
  std::string victim_tree = MakeTree("V_", kVictimFiles);
  int victim = testing::StartSvreg({"register", ws_, "--type", "COBOL", victim_tree}, "/dev/null",
                                   "/dev/null");
  // Killed once it has made copies (or after a while on a slow machine).
  for (int i = 0; i < 300 && !std::filesystem::exists(ws_ + "/Sources/COBOL/V_20.cbl"); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  ::kill(victim, SIGKILL);
  EXPECT_EQ(testing::WaitSvreg(victim), 128 + SIGKILL);
  for (int w = 0; w < 4; ++w) {
    EXPECT_EQ(testing::WaitSvreg(writers[static_cast<std::size_t>(w)]), 0)
        << ReadFile(dir_ / ("W" + std::to_string(w) + "_.err"));
  }

  EXPECT_EQ(testing::WaitSvreg(remover), 0) << ReadFile(dir_ / "U.err");
  EXPECT_EQ(Json({"objects", ws_, "--type", "COPYBOOK"})["objects"].size(), 0u);
  EXPECT_TRUE(std::filesystem::is_empty(ws_ + "/Sources/COPYBOOK"));

  std::map<std::string, std::string> objects = RegisteredWithWholeCopies();
  // Every writer's file (the names are the writers' alone, each listed once).
  EXPECT_EQ(std::count_if(objects.begin(), objects.end(),
                          [](const auto& o) { return o.first[0] == 'W'; }),
            4 * kFilesEach);
  EXPECT_LT(objects.size(), 4u * kFilesEach + kVictimFiles);  // the victim did not finish

  // Registering the folder again completes it; no copy is left that no object records.
  auto again = testing::RunSvreg({"register", ws_, "--type", "COBOL", victim_tree});
  EXPECT_LE(again.exit_code, 1) << again.err;
  objects = RegisteredWithWholeCopies();
  EXPECT_EQ(objects.size(), 4u * kFilesEach + kVictimFiles);
  // (Each object's copy is there and whole, each under its own name.)
  std::filesystem::directory_iterator copies(ws_ + "/Sources/COBOL");
  EXPECT_EQ(std::distance(copies, {}), static_cast<std::ptrdiff_t>(objects.size()));
}

SVREG_ON_BOTH_REPOSITORIES(SvregConcurrency);

}  // namespace
}  // namespace svregistration
