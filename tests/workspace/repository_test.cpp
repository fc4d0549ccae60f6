// The workspace repository against a real workspace database: types, ids, finding and creating
// objects, attribute updates, selections and cursors, relations, unregistration, invalidation,
// generated entries, listings and the log; and the built-in registration handlers and the
// IdUtility, created through the class registry as the registration service creates them.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "support/fake_workspace.h"
#include "svregistration/class_registry.h"
#include "svregistration/host/registration_handler.h"
#include "svregistration/host/utilities.h"
#include "workspace/default_options.h"
#include "workspace/repository/object_id.h"
#include "workspace/repository/registration_handlers.h"
#include "workspace/repository/schema.h"
#include "workspace/repository_fixture.h"

namespace svregistration::workspace::testing {
namespace {

using svregistration::testing::FakeWorkspace;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

constexpr int kSubscript = error_number::kSubscriptOutOfRange;

// --- Types, ids, finding and creating -----------------------------------------------------------

TEST_P(RepositoryTest, IdsCarryTheTypeCode) {
  WorkspaceIdUtility ids;
  for (const char* type : {"FOLDER", "COBOL", "copybook", "JCL", "PLI", "BMS"}) {
    auto object = New(type, "X");
    EXPECT_EQ(ids.ObjectTypeOfId(object->Id()), object->ObjectType()->TypeCode()) << type;
    EXPECT_EQ(repository_->ObjectById(object->Id())->Name(), "X");
  }
  EXPECT_EQ(ids.ObjectTypeOfId("Folder:3"), "Folder");  // as written
  auto pay = New("COBOL", "PAY");
  EXPECT_EQ(repository_->ObjectById("cobol" + pay->Id().substr(5))->Id(), pay->Id());
}

TEST(ObjectIdTest, ParsesOnlyTypeColonNumber) {
  for (const char* id : {"COBOL:17", "x:1"}) EXPECT_TRUE(ParseObjectId(id)) << id;
  for (const char* id : {"COBOL", ":17", "COBOL:", "COBOL:0", "COBOL:-1", "COBOL:+1", "COBOL: 1",
                         "COBOL:1x", "COBOL:99999999999999999999"}) {
    EXPECT_FALSE(ParseObjectId(id)) << id;
  }
  EXPECT_EQ(ErrorNumber([] { WorkspaceIdUtility().ObjectTypeOfId("17"); }), kInvalidArgument);
}

// Unknown types, ids and names, and conditions or orders the repository does not take.
TEST_P(RepositoryTest, WhatIsNotThereIsAnError) {
  auto program = New("COBOL", "PAY");
  std::string number = program->Id().substr(program->Id().find(':'));
  ExpectError([&] { repository_->SchemaObjectType("RPG"); }, kSubscript, "no object type 'RPG'");
  for (std::string id : {std::string("COBOL:999"), "JCL" + number, std::string()}) {
    ExpectError([&] { repository_->ObjectById(id); }, kSubscript, "'" + id + "'");
  }
  EXPECT_EQ(repository_->PrepareCollection("RPG", ""), nullptr);
  std::string name = "PAY", empty;
  const std::pair<std::function<void()>, int> cases[] = {
      {[&] { repository_->FindObject("RPG", name, ""); }, kSubscript},
      {[&] { repository_->NewObject("RPG", name); }, kSubscript},
      {[&] { repository_->CountObjects("RPG", ""); }, kSubscript},
      {[&] { repository_->SelectObjects("RPG", "", ""); }, kSubscript},
      {[&] { repository_->ListObjects("RPG"); }, kSubscript},
      {[&] { repository_->NewObject("COBOL", empty); }, kInvalidArgument},
      {[&] { repository_->FindObject("COBOL", name, "x=1"); }, kInvalidArgument},
      {[&] { repository_->SelectObjects("COBOL", "", "name"); }, kInvalidArgument},
      {[&] { repository_->CountObjects("COBOL", "x"); }, kInvalidArgument},
  };
  for (const auto& [call, error] : cases) EXPECT_EQ(ErrorNumber(call), error);
}

// One rule for letter case, the library's, on both engines: type codes and names are found in any
// letter case, accents fold, widths do not; what is found gives its stored name.
TEST_P(RepositoryTest, NamesFoldByUnicodeCaseAlone) {
  auto program = NewWith("COBOL", "Pay.Cbl", {{"Source", "Sources/COBOL/PAY.cbl"}});
  auto summer = New("COBOL", "ÉTÉ.cbl");
  auto wide = New("COBOL", "ＰＡＹ");
  // The type and name asked for, the id found (or "") and the name given back.
  const std::tuple<const char*, const char*, std::string, const char*> cases[] = {
      {"cobol", "PAY.CBL", program->Id(), "Pay.Cbl"},
      {"COBOL", "été.CBL", summer->Id(), "ÉTÉ.cbl"},
      {"COBOL", "ｐａｙ", wide->Id(), "ＰＡＹ"},
      {"COBOL", "PAY", "", "PAY"},
      {"COBOL", "Pay", "", "Pay"},
      {"COPYBOOK", "Pay.Cbl", "", "Pay.Cbl"},
      {"COBOL", "", "", ""}};
  for (const auto& [type, given, id, stored] : cases) {
    std::string name = given;
    auto found = repository_->FindObject(type, name, "");
    EXPECT_EQ(std::tuple(found ? found->Id() : "", name), std::tuple(id, stored)) << given;
  }
  // A new object of an existing name is that object; in another type it is another.
  std::string name = "pay.cbl";
  auto again = repository_->NewObject("COBOL", name);
  EXPECT_EQ(std::tuple(again->Id(), name, again->GetAttribute("Source")),
            std::tuple(program->Id(), "Pay.Cbl", "Sources/COBOL/PAY.cbl"));
  EXPECT_NE(New("JCL", "PAY.cbl")->Id(), program->Id());
  EXPECT_NE(New("COBOL", "PAY")->Id(), wide->Id());
}

// A workspace of the first layout (names compared by the engine's collation) is brought up to
// date when it is opened: its objects are found by the folded name from then on.
TEST_P(RepositoryTest, AWorkspaceOfTheFirstLayoutIsUpgraded) {
  New("COBOL", "ÉTÉ");
  database_->Execute(
      "DROP INDEX objects_by_type_and_key; ALTER TABLE objects DROP COLUMN name_key; "
      "CREATE UNIQUE INDEX objects_by_type_and_name ON objects(type_code, name)");
  database_->Execute(uri_.empty() ? "PRAGMA user_version = 1"
                                  : "UPDATE workspace_schema SET version = 1");
  database_.reset();
  repository_.reset();
  auto reopened = WorkspaceRepository::Make(Connect());
  std::string name = "été";
  EXPECT_NE(reopened->FindObject("COBOL", name, ""), nullptr);
  EXPECT_EQ(name, "ÉTÉ");
}

// A folder's members held by one writer are unregistered by another only once the holder's
// batch is committed; the holder that comes second finds the object gone.
TEST_P(RepositoryTest, HeldObjectsWaitForTheHolderToCommit) {
  auto folder = repository_->CreateFolder("F");
  auto member = New("COBOL", "PAY");
  repository_->AddToFolder(folder->Id(), {member->Id()});
  database_->BeginBatch(std::chrono::hours(1), true);
  repository_->HoldObjects({folder->Id()});
  ExpectUnregistrationToWaitForTheCommit(member->Id());
  ExpectError([&] { repository_->HoldObjects({member->Id()}); }, kSubscript, member->Id());
}

// Objects held with their attributes, many at once (more than one group of the look-up), are
// answered from what the hold read, and only while that is what the database holds: a change
// through this repository, or by another writer once the hold is over, is read afresh. An
// unregistration of one waits for the holder's commit; ids of objects that are gone or of
// another type are not held.
TEST_P(RepositoryTest, ObjectsHeldTogetherAnswerWhatTheirHoldRead) {
  std::vector<std::shared_ptr<host::RepositoryObject>> objects;
  host::IdCollection ids;
  for (int i = 0; i < 70; ++i) {
    objects.push_back(NewWith(
        "COBOL", "P" + std::to_string(i),
        {{"Source", "Sources/COBOL/P.cbl"}, {"OriginalSource", "/in/" + std::to_string(i)}}));
    ids.push_back(objects.back()->Id());
  }
  // An attribute name beyond ASCII is matched by the database alone.
  auto accented = NewWith("COBOL", "Q", {{"Größe", "9"}});
  ids.push_back(accented->Id());
  const std::string number = ids[0].substr(ids[0].find(':'));
  ids.insert(ids.begin() + 1, {"JCL" + number, "COBOL:999999", "x"});
  auto handle = repository_->ObjectById(ids[0]);  // another handle of the first object
  auto read = [&] {
    return std::tuple(handle->Name(), handle->GetAttribute("Source"),
                      handle->GetAttribute("originalSOURCE"), handle->GetAttribute("Unset"));
  };
  database_->BeginBatch(std::chrono::hours(1), true);
  std::vector<bool> held =
      repository_->HoldObjects(ids, {"originalsource", "Source", "GRÖßE", "Unset"});
  std::vector<bool> expected(ids.size(), true);
  expected[1] = expected[2] = expected[3] = false;
  EXPECT_EQ(held, expected);
  EXPECT_TRUE(repository_->Holding());
  EXPECT_EQ(repository_->ObjectById(ids[0])->Id(), ids[0]);
  EXPECT_EQ(read(), std::tuple("P0", "Sources/COBOL/P.cbl", "/in/0", ""));
  EXPECT_EQ(objects[69]->GetAttribute("OriginalSource"), "/in/69");
  EXPECT_EQ(accented->GetAttribute("Größe"), "9");
  Update(*objects[0], {{"OriginalSource", "/in/new"}, {"Name", "P0B"}});
  EXPECT_EQ(read(), std::tuple("P0B", "Sources/COBOL/P.cbl", "/in/new", ""));
  EXPECT_EQ(objects[1]->GetAttribute("OriginalSource"), "/in/1");
  ExpectUnregistrationToWaitForTheCommit(objects[68]->Id());
  EXPECT_FALSE(repository_->Holding());
  auto other = WorkspaceRepository::Make(Connect())->ObjectById(ids[0]);
  Update(*other, {{"OriginalSource", "/in/other"}});
  EXPECT_EQ(read(), std::tuple("P0B", "Sources/COBOL/P.cbl", "/in/other", ""));
  // A server lets another writer in between two batches, while the first goes on.
  if (!uri_.empty()) {
    database_->BeginBatch(std::chrono::milliseconds(0), true);
    repository_->HoldObject(ids[0], {"OriginalSource"});
    ASSERT_TRUE(database_->CommitBatchIfDue());
    Update(*other, {{"OriginalSource", "/in/between"}});
    EXPECT_EQ(handle->GetAttribute("OriginalSource"), "/in/between");
    database_->EndBatch();
  }
  EXPECT_EQ(repository_->HoldObjects({objects[67]->Id(), objects[68]->Id()}, {}),
            std::vector<bool>({true, false}));
  ExpectError([&] { repository_->HoldObject(ids[1], {"Source"}); }, kSubscript, "'" + ids[1] + "'");
}

// --- Attributes and updates --------------------------------------------------------------------

TEST_P(RepositoryTest, AttributesRoundTripInOneUpdate) {
  auto object = New("COBOL", "PAY");
  auto other = repository_->ObjectById(object->Id());
  object->BeginUpdate();
  object->BeginUpdate();  // updates nest: the outermost end commits
  object->SetAttribute("Source", "Sources/COBOL/PAY.cbl");
  object->SetAttribute("OriginalSource", "/in/PAY.cbl");
  object->SetAttribute("Name", "PAY.cbl");
  object->SetAttribute("source", "Sources/COBOL/PAY.CBL");  // the same attribute, replaced
  object->EndUpdate();
  // Read back during the update; not yet visible to another handle.
  EXPECT_EQ(
      std::tuple(object->GetAttribute("Source"), object->Name(), other->GetAttribute("Source")),
      std::tuple("Sources/COBOL/PAY.CBL", "PAY.cbl", ""));
  object->EndUpdate();

  // A second connection sees what was committed.
  auto reader = WorkspaceRepository::Make(Connect())->ObjectById(object->Id());
  EXPECT_EQ(std::tuple(reader->GetAttribute("SOURCE"), reader->GetAttribute("OriginalSource"),
                       reader->Name(), reader->GetAttribute("Unset")),
            std::tuple("Sources/COBOL/PAY.CBL", "/in/PAY.cbl", "PAY.cbl", ""));
  // An empty value unsets; a name in other letter case is the same object's.
  Update(*object, {{"OriginalSource", ""}, {"Name", "PAY.CBL"}});
  EXPECT_EQ(reader->GetAttribute("OriginalSource"), "");
  std::string name = "pay.cbl";
  EXPECT_EQ(std::tuple(repository_->FindObject("COBOL", name, "")->Id(), name),
            std::tuple(object->Id(), "PAY.CBL"));
}

TEST_P(RepositoryTest, MisusedOrFailedUpdatesStoreNothing) {
  auto job = New("JCL", "JOB1");
  EXPECT_EQ(ErrorNumber([&] { job->SetAttribute("Source", "x"); }), kInvalidArgument);  // no update
  job->BeginUpdate();
  EXPECT_EQ(ErrorNumber([&] { job->SetAttribute("", "x"); }), kInvalidArgument);
  EXPECT_EQ(ErrorNumber([&] { job->SetAttribute("Name", ""); }), kInvalidArgument);

  New("COBOL", "TAKEN");
  auto object = NewWith("COBOL", "PAY", {{"Source", "old"}});
  object->BeginUpdate();
  object->SetAttribute("Source", "new");
  object->SetAttribute("OriginalSource", "/in/PAY.cbl");
  object->SetAttribute("Name", "taken");
  ExpectError([&] { object->EndUpdate(); }, kInvalidArgument, "'taken'");
  // Nothing of the update was stored, and the update is over.
  EXPECT_EQ(std::tuple(object->GetAttribute("Source"), object->GetAttribute("OriginalSource"),
                       object->Name()),
            std::tuple("old", "", "PAY"));
  EXPECT_EQ(ErrorNumber([&] { object->EndUpdate(); }), kInvalidArgument);  // no update open

  // An object removed by another handle while the update was open.
  auto doomed = New("JCL", "JOB1");
  doomed->BeginUpdate();
  doomed->SetAttribute("Source", "x");
  host::EntryList entries;
  repository_->ObjectById(doomed->Id())->UnregisterObject(entries);
  EXPECT_EQ(ErrorNumber([&] { doomed->EndUpdate(); }), kSubscript);
  EXPECT_THAT(repository_->ListObjects("JCL"), IsEmpty());
}

// --- Selections and cursors --------------------------------------------------------------------

TEST_P(RepositoryTest, SelectionsCompareTypeCodesIgnoringCase) {
  auto a = New("FOLDER", "A");
  New("COBOL", "PAY");
  auto b = New("FOLDER", "B");
  EXPECT_EQ(repository_->CountObjects("jcl", ""), 0);
  auto selected = repository_->SelectObjects("Folder", "", "");
  EXPECT_EQ(selected->Count(), 2);
  EXPECT_THAT(Ids(*selected), ElementsAre(a->Id(), b->Id()));
  selected->MoveNext();  // past the end it stays there
  EXPECT_TRUE(selected->Eof());
  EXPECT_EQ(ErrorNumber([&] { selected->Item(); }), kSubscript);
  EXPECT_EQ(ErrorNumber([&] { selected->Relation(); }), error_number::kObjectNotSet);
  EXPECT_THAT(Ids(*repository_->PrepareCollection("FOLDER", "")), ElementsAre(a->Id(), b->Id()));
}

// --- Relations ---------------------------------------------------------------------------------

// Relations and members list folder membership. Bad relations are refused as a whole; removing
// one that is not there (or under an id of another type) is an error.
TEST_P(RepositoryTest, RelationsListFolderMembershipAndBadOnesAreErrors) {
  auto f1 = New("FOLDER", "F1");
  auto f2 = New("FOLDER", "F2");
  auto pay = New("COBOL", "PAY");
  auto job = New("JCL", "JOB");
  const std::string p = pay->Id(), j = job->Id(), f = f1->Id();
  const host::IdCollection with_unknown = {p, "JCL:9"};
  const std::pair<std::function<void()>, int> bad[] = {
      {[&] { repository_->AddToFolder(p, {j}); }, kInvalidArgument},  // no folder
      {[&] { repository_->AddToFolder(f, {f}); }, kInvalidArgument},
      {[&] { repository_->AddRelation(p, "", j); }, kInvalidArgument},
      {[&] { repository_->AddToFolder(f, with_unknown); }, kSubscript},
      {[&] { pay->RemoveRelation("BelongsTo", f); }, kSubscript},
  };
  for (const auto& [call, number] : bad) EXPECT_EQ(ErrorNumber(call), number);
  EXPECT_EQ(f1->Members()->Count(), 0);

  repository_->AddRelation(p, "BelongsTo", f2->Id());
  repository_->AddToFolder(f, {p, j, p});
  auto relations = pay->Relations();
  ASSERT_EQ(relations->Count(), 2);
  std::vector<std::string> seen;
  for (; !relations->Eof(); relations->MoveNext()) {
    auto relation = relations->Relation();
    seen.push_back(relation->Name() + " " + relation->TargetType()->TypeCode() + " " +
                   relations->Item()->Id());
  }
  EXPECT_THAT(seen, ElementsAre("BelongsTo FOLDER " + f2->Id(), "BelongsTo FOLDER " + f));
  EXPECT_THAT(Ids(*f1->Members()), ElementsAre(p, j));
  EXPECT_EQ(pay->Members()->Count(), 0);

  EXPECT_EQ(ErrorNumber([&] { pay->RemoveRelation("BelongsTo", "JCL" + f.substr(6)); }),
            kSubscript);
  pay->RemoveRelation("belongsto", f);
  ExpectError([&] { pay->RemoveRelation("BelongsTo", f); }, kSubscript, "'" + f + "'");
  // Other relation names may link objects of any type.
  repository_->AddRelation(f2->Id(), "Runs", p);
  EXPECT_EQ(f2->Relations()->Relation()->TargetType()->TypeCode(), "COBOL");
}

// --- Unregistration and invalidation -----------------------------------------------------------

TEST_P(RepositoryTest, UnregisterReturnsTheCopyAndGeneratedEntriesAndRemovesEverything) {
  auto folder = New("FOLDER", "F");
  auto pay = NewWith("COBOL", "PAY",
                     {{"Source", "Sources/COBOL/PAY.cbl"}, {"OriginalSource", "/in/PAY.cbl"}});
  auto other = New("COBOL", "OTHER");
  repository_->AddToFolder(folder->Id(), {pay->Id(), other->Id()});
  repository_->AddRelation(other->Id(), "Calls", pay->Id());
  repository_->AddGeneratedEntries(pay->Id(), {".out/PAY.lst", ":out/PAY.mf", "\\gen"});

  host::EntryList entries = {"kept"};
  pay->UnregisterObject(entries);
  EXPECT_THAT(entries, ElementsAre("kept", ".Sources/COBOL/PAY.cbl", ".out/PAY.lst", ":out/PAY.mf",
                                   "\\gen"));
  EXPECT_EQ(ErrorNumber([&] { pay->Name(); }), kSubscript);
  EXPECT_THAT(Ids(*folder->Members()), ElementsAre(other->Id()));
  EXPECT_EQ(other->Relations()->Count(), 1);  // only its own BelongsTo is left

  // Nothing of the object is left in the tables, and a new object does not reuse its id.
  for (const char* table : {"attributes", "generated_entries"}) {
    auto statement = database_->Prepare(std::string("SELECT count(*) FROM ") + table);
    ASSERT_TRUE(statement.Step());
    EXPECT_EQ(statement.Int(0), 0) << table;
  }
  EXPECT_NE(New("COBOL", "PAY")->Id(), pay->Id());
  EXPECT_EQ(ErrorNumber([&] { pay->UnregisterObject(entries); }), kSubscript);
  EXPECT_EQ(entries.size(), 5u);

  // Objects without a copy give only their generated entries.
  auto never = New("COBOL", "NEVER");
  repository_->AddToFolder(folder->Id(), {never->Id()});
  repository_->AddGeneratedEntries(folder->Id(), {"*note"});
  entries.clear();
  never->UnregisterObject(entries);
  folder->UnregisterObject(entries);
  EXPECT_THAT(entries, ElementsAre("*note"));
}

TEST_P(RepositoryTest, GroupOperationsWorkOnTheWholeCollection) {
  auto a = NewWith("COBOL", "A", {{"Source", "Sources/COBOL/A.cbl"}});
  auto b = NewWith("JCL", "B", {{"Source", "Sources/JCL/B.jcl"}});
  auto c = New("COPYBOOK", "C");
  for (const auto& o : {a, b, c})
    repository_->AddGeneratedEntries(o->Id(), {".out/" + o->Name() + ".lst"});

  host::IdCollection ids = {b->Id(), a->Id(), b->Id()};
  host::EntryList entries;
  repository_->InvalidateObjects(ids, entries);
  EXPECT_THAT(entries, ElementsAre(".out/B.lst", ".out/A.lst"));
  EXPECT_THAT(repository_->GeneratedEntries(a->Id()), IsEmpty());  // forgotten; the copy stays
  EXPECT_EQ(a->GetAttribute("Source"), "Sources/COBOL/A.cbl");

  // An unknown id changes nothing.
  ids = {c->Id(), "COBOL:999"};
  entries.clear();
  EXPECT_EQ(ErrorNumber([&] { repository_->UnregisterObjects(ids, entries); }), kSubscript);
  EXPECT_THAT(entries, IsEmpty());
  EXPECT_EQ(repository_->ListObjects().size(), 3u);

  ids = {a->Id(), c->Id(), a->Id()};
  repository_->UnregisterObjects(ids, entries);
  EXPECT_THAT(entries, ElementsAre(".Sources/COBOL/A.cbl", ".out/C.lst"));
  EXPECT_THAT(ids, ElementsAre(a->Id(), c->Id(), a->Id()));  // the collection is left as given
  ASSERT_EQ(repository_->ListObjects().size(), 1u);
  EXPECT_EQ(repository_->ListObjects()[0].id, b->Id());
}

// --- Generated entries, listings, the log ------------------------------------------------------

TEST_P(RepositoryTest, GeneratedEntriesAreCheckedAndKeptOnce) {
  auto pay = New("COBOL", "PAY");
  for (const char* bad : {"", "out/x.lst", "!x", ".", "./etc/passwd", ".C:\\x", ".a/../../x",
                          "\\..\\up", ":..", "\\"}) {
    const host::EntryList entries = {".ok", bad};
    EXPECT_EQ(ErrorNumber([&] { repository_->AddGeneratedEntries(pay->Id(), entries); }),
              kInvalidArgument)
        << bad;
  }
  EXPECT_THAT(repository_->GeneratedEntries(pay->Id()), IsEmpty());
  repository_->AddGeneratedEntries(pay->Id(), {".out/x.lst", "*", "\\a..b\\gen"});
  repository_->AddGeneratedEntries(pay->Id(), {".out/x.lst", ":out/x.mf"});
  EXPECT_THAT(repository_->GeneratedEntries(pay->Id()),
              ElementsAre(".out/x.lst", "*", "\\a..b\\gen", ":out/x.mf"));
  EXPECT_EQ(ErrorNumber([&] { repository_->AddGeneratedEntries("COBOL:999", {".x"}); }),
            kSubscript);
}

TEST_P(RepositoryTest, ListsObjectsWithTheirSources) {
  auto folder = repository_->CreateFolder("Programs");
  EXPECT_EQ(repository_->CreateFolder("programs")->Id(), folder->Id());
  auto pay = NewWith("COBOL", "PAY",
                     {{"Source", "Sources/COBOL/PAY.cbl"}, {"OriginalSource", "/in/PAY.cbl"}});
  auto job = New("JCL", "JOB");
  // Attribute names in any letter case, beside others.
  auto rec = NewWith("COPYBOOK", "REC",
                     {{"CopyRecipe", "x"},
                      {"ORIGINALSOURCE", "/in/REC.cpy"},
                      {"source", "Sources/COPYBOOK/REC.cpy"},
                      {"Zone", "y"}});
  auto listed = [&](const std::optional<std::string>& type) {
    std::vector<std::string> rows;
    for (const ObjectInfo& o : repository_->ListObjects(type)) {
      rows.push_back(o.id + "|" + o.type + "|" + o.name + "|" + o.source + "|" + o.original);
    }
    return rows;
  };
  const std::string pay_row = pay->Id() + "|COBOL|PAY|Sources/COBOL/PAY.cbl|/in/PAY.cbl";
  const std::string rec_row = rec->Id() + "|COPYBOOK|REC|Sources/COPYBOOK/REC.cpy|/in/REC.cpy";
  EXPECT_THAT(listed(std::nullopt), ElementsAre(folder->Id() + "|FOLDER|Programs||", pay_row,
                                                job->Id() + "|JCL|JOB||", rec_row));
  EXPECT_THAT(listed("jcl"), ElementsAre(job->Id() + "|JCL|JOB||"));
  EXPECT_THAT(listed("Copybook"), ElementsAre(rec_row));
  EXPECT_THAT(listed("BMS"), IsEmpty());
}

TEST_P(RepositoryTest, LogKeepsRecordsInOrder) {
  auto log = RepositoryLog::Make(database_);
  log->Add("Register", host::kSeverityError, std::nullopt, "Unable to copy file");
  log->Add("Unregister", host::kSeverityInformation, "COBOL:1", "Object 'PAY' ...");
  auto records = RepositoryLog::Make(Connect())->Records();
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(std::tie(records[0].title, records[0].severity, records[0].text, records[0].object_id),
            std::tuple("Register", 2, "Unable to copy file", std::nullopt));
  EXPECT_EQ(records[1].object_id, "COBOL:1");
  EXPECT_LT(records[0].sequence, records[1].sequence);
  EXPECT_THAT(records[1].time, ::testing::MatchesRegex("....-..-..T..:..:..\\....Z"));
}

// A statement that fails inside a batch but outside any change: the batch either keeps what was
// done before it (SQLite) or says, when it is committed, that it kept nothing (a server aborts
// the whole transaction). Never a silent loss.
TEST_P(RepositoryTest, BatchAfterAFailedStatementKeepsItsWorkOrSaysItLostIt) {
  database_->BeginBatch(std::chrono::hours(1), true);
  New("JCL", "KEPT");
  EXPECT_THROW(database_->Prepare("SELECT no_such_column FROM objects").Step(), Error);
  const Error error = CaptureError([&] { database_->EndBatch(); });
  EXPECT_THAT(error.description(), ::testing::HasSubstr(error.number() ? "COMMIT" : ""));
  EXPECT_EQ(repository_->CountObjects("JCL", ""), error.number() ? 0 : 1);
}

SVREG_ON_BOTH_REPOSITORIES(RepositoryTest);

// --- The built-in handlers ---------------------------------------------------------------------

class HandlerTest : public RepositoryTest {
 protected:
  HandlerTest() { RegisterWorkspaceClasses(); }

  /// What the handler the object's type names answers for an object whose registered copy is
  /// `copy` ("" leaves the source attribute unset).
  bool Accepts(const std::string& type, const std::string& copy) {
    auto object = NewWith(type, "OBJ" + std::to_string(++count_), {{"Source", copy}});
    auto handler = ClassRegistry::Instance().Create<host::RegistrationHandler>(
        object->ObjectType()->RegistrationHandler());
    return handler->OnObjectRegister(workspace_, object);
  }

  std::shared_ptr<host::Workspace> workspace_ =
      std::make_shared<FakeWorkspace>(dir_.path().string(), DefaultWorkspaceOptions());
  int count_ = 0;
};

// The default options give COBOL the extensions .cbl and .cob and BMS .bms; the handlers of
// COPYBOOK, JCL and PLI accept every object; a class name no handler has cannot be created.
TEST_P(HandlerTest, HandlersOfTheTypesAcceptWhatTheirRulesAllow) {
  // clang-format off
  const std::tuple<const char*, const char*, bool> cases[] = {
      {"COBOL", "Sources/COBOL/PAY.cbl", true}, {"COBOL", "Sources\\COBOL\\PAY.CBL", true},
      {"COBOL", "Sources/COBOL/PAY.Cob", true}, {"COBOL", "Sources/COBOL/PAY.cpy", false},
      {"COBOL", "Sources/COBOL/PAY.cbl.bak", false}, {"COBOL", "Sources/a.cbl/PAY", false},
      {"COBOL", "", false}, {"COPYBOOK", "", true}, {"JCL", "", true}, {"PLI", "", true},
      {"BMS", "Sources/BMS/MAP.BMS", true}, {"BMS", "Sources/BMS/MAP.cbl", false}};
  // clang-format on
  for (const auto& [type, copy, accepted] : cases) {
    EXPECT_EQ(Accepts(type, copy), accepted) << type << " " << copy;
  }
  ClassRegistry& registry = ClassRegistry::Instance();
  const std::string missing(kMissingHandlerClass);
  EXPECT_EQ(ErrorNumber([&] { registry.Create<host::RegistrationHandler>(missing); }),
            error_number::kCannotCreateObject);
  auto ids = registry.Create<host::IdUtility>(host::kIdUtilityClass);
  EXPECT_EQ(ids->ObjectTypeOfId(New("FOLDER", "F")->Id()), "FOLDER");
}

TEST_P(HandlerTest, ExtensionHandlerReadsTheWorkspaceOptions) {
  auto strings = workspace_->WorkspaceOptions()->Document()->select_node(
      ".//LIST[@NAME='Extension']/CASE[@NAME='COBOL']/STRINGS[@NAME='Extensions']");
  strings.node().append_child("STRING").append_attribute("VALUE").set_value(".CBX");
  EXPECT_TRUE(Accepts("COBOL", "Sources/COBOL/PAY.cbx"));

  auto object = NewWith("COBOL", "NODOC", {{"Source", "Sources/COBOL/PAY.cbl"}});
  std::shared_ptr<host::Workspace> bare = std::make_shared<FakeWorkspace>(dir_.path().string(), "");
  EXPECT_EQ(ErrorNumber([&] { ExtensionHandler().OnObjectRegister(bare, object); }),
            error_number::kObjectNotSet);
}

// The handlers read only what every repository stores alike.
INSTANTIATE_TEST_SUITE_P(Sqlite, HandlerTest,
                         ::testing::Values(svregistration::testing::Backend::kSqlite),
                         svregistration::testing::BackendName);

}  // namespace
}  // namespace svregistration::workspace::testing
