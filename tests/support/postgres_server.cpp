// Starting and stopping the tests' PostgreSQL cluster.
#include "support/postgres_server.h"

#include <fcntl.h>
#include <libpq-fe.h>
#include <pwd.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <vector>

#include "support/temp_dir.h"

extern char** environ;

namespace svregistration::testing {

namespace fs = std::filesystem;

namespace {

std::string& Reason() {
  static std::string reason;
  return reason;
}

// The bin folder of the newest installed server (Debian keeps each major version apart).
std::string FindServerBin() {
  std::vector<std::string> found;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator("/usr/lib/postgresql", ec)) {
    if (fs::exists(entry.path() / "bin/initdb") && fs::exists(entry.path() / "bin/pg_ctl")) {
      found.push_back((entry.path() / "bin").string());
    }
  }
  std::sort(found.begin(), found.end(), [](const std::string& a, const std::string& b) {
    return a.size() != b.size() ? a.size() < b.size() : a < b;
  });
  return found.empty() ? "" : found.back();
}

// Runs a program with its output going to `log`; its exit status (-1 when it did not start).
int Run(std::vector<std::string> args, const std::string& log) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
  posix_spawn_file_actions_adddup2(&actions, 1, 2);
  std::vector<char*> argv;
  for (auto& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  pid_t pid = 0;
  int rc = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) return -1;
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace

std::string BackendName(const ::testing::TestParamInfo<Backend>& info) {
  return info.param == Backend::kSqlite ? "Sqlite" : "Postgres";
}

const std::string& PostgresServer::Unavailable() { return Reason(); }

PostgresServer* PostgresServer::Get() {
  static std::unique_ptr<PostgresServer> server = [] {
    std::unique_ptr<PostgresServer> started(new PostgresServer());
    if (!started->UseShared() && !started->Start(Reason())) started.reset();
    return started;
  }();
  return server.get();
}

// Under ctest the run's server is started once (postgres_cluster.sh) and named in a file.
bool PostgresServer::UseShared() {
  const char* file = std::getenv("SVREG_TEST_POSTGRES_FILE");
  std::error_code ec;
  if (file == nullptr || !fs::exists(file, ec)) return false;
  std::string folder = ReadFile(file);
  while (!folder.empty() && folder.back() == '\n') folder.pop_back();
  if (folder.empty() || !fs::exists(fs::path(folder) / ".s.PGSQL.5432", ec)) return false;
  folder_ = folder;
  shared_ = true;
  return true;
}

bool PostgresServer::Start(std::string& why) {
  bin_ = FindServerBin();
  if (bin_.empty()) {
    why = "no initdb and pg_ctl in /usr/lib/postgresql/*/bin (install the postgresql package)";
    return false;
  }
  char folder[] = "/tmp/svreg-pg-XXXXXX";
  if (mkdtemp(folder) == nullptr) {
    why = "cannot make a temporary folder";
    return false;
  }
  folder_ = folder;
  // The server refuses to run as root: then it runs as the postgres user, who owns its folder.
  as_postgres_ = geteuid() == 0;
  if (as_postgres_) {
    passwd* user = getpwnam("postgres");
    if (user == nullptr || chown(folder, user->pw_uid, user->pw_gid) != 0) {
      why = "running as root, and there is no postgres user to run the server as";
      return false;
    }
  }
  auto command = [&](std::vector<std::string> args) {
    if (as_postgres_) args.insert(args.begin(), {"/usr/sbin/runuser", "-u", "postgres", "--"});
    return Run(std::move(args), folder_ + "/setup.log");
  };
  std::string data = folder_ + "/data";
  if (command({bin_ + "/initdb", "-D", data, "-U", "postgres", "-A", "trust", "-E", "UTF8",
               "--locale=C", "--no-sync"}) != 0) {
    why = "initdb failed; see " + folder_ + "/setup.log";
    return false;
  }
  // No TCP port: only the socket in the folder. Durability is not wanted here, speed is.
  std::string options = "-c listen_addresses='' -k " + folder_ +
                        " -c fsync=off -c synchronous_commit=off -c full_page_writes=off";
  if (command({bin_ + "/pg_ctl", "-D", data, "-l", folder_ + "/server.log", "-o", options, "-w",
               "start"}) != 0) {
    why = "pg_ctl start failed; see " + folder_ + "/server.log";
    return false;
  }
  running_ = true;
  return true;
}

PostgresServer::~PostgresServer() {
  if (running_) {
    std::vector<std::string> args{
        bin_ + "/pg_ctl", "-D", folder_ + "/data", "-m", "immediate", "-w", "stop"};
    if (as_postgres_) args.insert(args.begin(), {"/usr/sbin/runuser", "-u", "postgres", "--"});
    Run(std::move(args), "/dev/null");
  }
  std::error_code ignored;
  if (!folder_.empty() && !shared_) fs::remove_all(folder_, ignored);
}

std::string PostgresServer::NewDatabase() {
  std::string name = "test" + std::to_string(getpid()) + "_" + std::to_string(++databases_);
  std::string admin = "postgresql:///postgres?host=" + folder_ + "&user=postgres";
  PGconn* connection = PQconnectdb(admin.c_str());
  PGresult* result = PQexec(connection, ("CREATE DATABASE " + name).c_str());
  bool ok = PQresultStatus(result) == PGRES_COMMAND_OK;
  std::string why = PQerrorMessage(connection);
  PQclear(result);
  PQfinish(connection);
  if (!ok) throw std::runtime_error("cannot create the test database " + name + ": " + why);
  return "postgresql:///" + name + "?host=" + folder_ + "&user=postgres";
}

}  // namespace svregistration::testing
