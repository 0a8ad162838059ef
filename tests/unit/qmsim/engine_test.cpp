// The queue manager engine directly: limits, persistence across a restart, damaged
// files, units of work, routing between hosted queue managers, stopping and quiescing,
// and the administration view the command server relies on.
#include <gtest/gtest.h>

#include <algorithm>
#include <ctime>

#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <csignal>
#include <fstream>
#include <future>
#include <set>
#include <thread>
#include <vector>

#include "engine/queue_manager.h"
#include "engine/registry.h"
#include "engine/session.h"
#include "engine/store.h"
#include "qmsim_test_support.h"

using namespace qmsim;
using kvarn::mqi::fieldText;
using kvarn::mqi::setField;

namespace {

class EngineTest : public ::testing::Test {
 protected:
  std::shared_ptr<QueueManager> openQm(const std::string& name = "QME") {
    std::string error;
    auto qm = QueueManager::open(name, home_.path() / name, error);
    EXPECT_TRUE(qm) << error;
    return qm;
  }
  ConnId connect(QueueManager& qm) {
    ConnId c = 0;
    EXPECT_TRUE(qm.connect({"test", "tester", "", ""}, c).ok());
    return c;
  }
  MQHOBJ open(QueueManager& qm, ConnId c, const std::string& name, MQLONG options, MQLONG* reason = nullptr) {
    MQOD od = kvarn::mqi::defaultOD();
    setField(od.ObjectName, name);
    MQHOBJ h = MQHO_UNUSABLE_HOBJ;
    Outcome o = qm.open(c, od, options, h);
    if (reason) *reason = o.reason;
    else EXPECT_TRUE(o.ok()) << o.reason;
    return h;
  }
  Outcome put(QueueManager& qm, ConnId c, MQHOBJ h, const std::string& data, MQLONG persistence = MQPER_NOT_PERSISTENT,
              MQLONG options = MQPMO_NONE) {
    MQMD md = kvarn::mqi::defaultMD();
    md.Persistence = persistence;
    MQPMO pmo = kvarn::mqi::defaultPMO();
    pmo.Options = options;
    return qm.put(c, h, md, pmo, data);
  }
  Outcome putInUnit(QueueManager& qm, ConnId c, MQHOBJ h, const std::string& data,
                    MQLONG persistence = MQPER_NOT_PERSISTENT) {
    return put(qm, c, h, data, persistence, MQPMO_SYNCPOINT);
  }
  // A destructive get under syncpoint: the message's text, or empty when none came.
  std::string getInUnit(QueueManager& qm, ConnId c, MQHOBJ h) {
    MQMD md = kvarn::mqi::defaultMD();
    MQGMO gmo = kvarn::mqi::defaultGMO();
    gmo.Options = MQGMO_SYNCPOINT;
    char buf[1024];
    MQLONG len = 0;
    Outcome o = qm.get(c, h, md, gmo, sizeof buf, buf, len);
    EXPECT_TRUE(o.ok()) << o.reason;
    return o.ok() ? std::string(buf, static_cast<size_t>(len)) : std::string();
  }
  // The messages other connections can get from a queue, in order, each with its
  // backout count ("text/count"), browsed through a connection of its own.
  std::vector<std::string> visible(QueueManager& qm, const std::string& queue) {
    ConnId c = connect(qm);
    MQHOBJ h = open(qm, c, queue, MQOO_BROWSE);
    std::vector<std::string> out;
    for (MQLONG next = MQGMO_BROWSE_FIRST;; next = MQGMO_BROWSE_NEXT) {
      MQMD md = kvarn::mqi::defaultMD();
      MQGMO gmo = kvarn::mqi::defaultGMO();
      gmo.Options = next;
      char buf[1024];
      MQLONG len = 0;
      Outcome o = qm.get(c, h, md, gmo, sizeof buf, buf, len);
      if (!o.ok()) {
        EXPECT_EQ(o.reason, MQRC_NO_MSG_AVAILABLE);
        break;
      }
      out.push_back(std::string(buf, static_cast<size_t>(len)) + "/" + std::to_string(md.BackoutCount));
    }
    qm.disconnect(c);
    return out;
  }
  // Depth and uncommitted count as queue status shows them ("depth/uncommitted").
  std::string depths(QueueManager& qm, const std::string& queue) {
    auto st = qm.queueStatus(queue);
    return st ? std::to_string(st->depth) + "/" + std::to_string(st->uncommitted) : "no queue";
  }
  Outcome get(QueueManager& qm, ConnId c, MQHOBJ h, std::string& data, MQLONG wait = 0) {
    MQMD md = kvarn::mqi::defaultMD();
    MQGMO gmo = kvarn::mqi::defaultGMO();
    if (wait) {
      gmo.Options = MQGMO_WAIT | MQGMO_FAIL_IF_QUIESCING;
      gmo.WaitInterval = wait;
    }
    char buf[1024];
    MQLONG len = 0;
    Outcome o = qm.get(c, h, md, gmo, sizeof buf, buf, len);
    if (o.ok()) data.assign(buf, static_cast<size_t>(len));
    return o;
  }
  ObjectDef localQueue(const std::string& name, Attributes extra = {}) {
    ObjectDef def{ObjectKind::Queue, name, defaultAttributes(ObjectKind::Queue, "QLOCAL")};
    for (auto& [k, v] : extra) def.attrs[k] = v;
    return def;
  }

  qmsim_test::TempHome home_;
};

TEST_F(EngineTest, NewQueueManagerHasIbmDefaultObjects) {
  auto qm = openQm();
  for (const char* q : {"SYSTEM.DEFAULT.LOCAL.QUEUE", "SYSTEM.DEFAULT.MODEL.QUEUE", "SYSTEM.DEFAULT.ALIAS.QUEUE",
                        "SYSTEM.DEFAULT.REMOTE.QUEUE", "SYSTEM.ADMIN.COMMAND.QUEUE", "SYSTEM.DEAD.LETTER.QUEUE"})
    EXPECT_TRUE(qm->object(ObjectKind::Queue, q)) << q;
  for (const char* c : {"SYSTEM.DEF.SVRCONN", "SYSTEM.DEF.SENDER", "SYSTEM.DEF.RECEIVER", "SYSTEM.DEF.CLNTCONN"})
    EXPECT_TRUE(qm->object(ObjectKind::Channel, c)) << c;
  EXPECT_EQ(qm->object(ObjectKind::Queue, "SYSTEM.DEFAULT.MODEL.QUEUE")->get("DEFTYPE"), "TEMPDYN");
  EXPECT_EQ(qm->qmgrObject().get("COMMANDQ"), "SYSTEM.ADMIN.COMMAND.QUEUE");
}

TEST_F(EngineTest, DepthAndLengthLimitsGiveIbmReasons) {
  auto qm = openQm();
  ASSERT_TRUE(qm->define(localQueue("SMALL", {{"MAXDEPTH", "2"}, {"MAXMSGL", "5"}}), false).ok());
  EXPECT_EQ(qm->define(localQueue("SMALL"), false).reason, MQRC_OBJECT_ALREADY_EXISTS);
  ConnId c = connect(*qm);
  MQHOBJ h = open(*qm, c, "SMALL", MQOO_OUTPUT);
  EXPECT_EQ(put(*qm, c, h, "123456").reason, MQRC_MSG_TOO_BIG_FOR_Q);
  EXPECT_TRUE(put(*qm, c, h, "1").ok());
  EXPECT_TRUE(put(*qm, c, h, "2").ok());
  EXPECT_EQ(put(*qm, c, h, "3").reason, MQRC_Q_FULL);
  EXPECT_EQ(qm->queueStatus("SMALL")->depth, 2);
  EXPECT_EQ(qm->queueStatus("SMALL")->openOutput, 1);
  EXPECT_EQ(qm->remove(ObjectKind::Queue, "SMALL", true).reason, MQRC_OBJECT_IN_USE);
  ASSERT_TRUE(qm->close(c, h, MQCO_NONE).ok());
  EXPECT_EQ(qm->remove(ObjectKind::Queue, "SMALL", false).reason, MQRC_Q_NOT_EMPTY);
  EXPECT_TRUE(qm->remove(ObjectKind::Queue, "SMALL", true).ok());
}

TEST_F(EngineTest, APutMessageIsStampedWithTheUtcDateAndTimeOfItsPut) {
  auto qm = openQm();
  ASSERT_TRUE(qm->define(localQueue("STAMPED"), false).ok());
  ConnId c = connect(*qm);
  MQHOBJ h = open(*qm, c, "STAMPED", MQOO_OUTPUT | MQOO_INPUT_AS_Q_DEF);
  auto text = [](std::time_t t, const char* format) {
    std::tm tm{};
    gmtime_r(&t, &tm);
    char out[16];
    std::strftime(out, sizeof out, format, &tm);
    return std::string(out);
  };
  for (int i = 0; i < 3; ++i) {
    std::time_t before = std::time(nullptr);
    ASSERT_TRUE(put(*qm, c, h, "x").ok());
    MQMD md = kvarn::mqi::defaultMD();
    MQGMO gmo = kvarn::mqi::defaultGMO();
    char buf[16];
    MQLONG len = 0;
    ASSERT_TRUE(qm->get(c, h, md, gmo, sizeof buf, buf, len).ok());
    std::time_t after = std::time(nullptr);
    std::string date(md.PutDate, 8), time(md.PutTime, 8);
    EXPECT_TRUE(date == text(before, "%Y%m%d") || date == text(after, "%Y%m%d")) << date;
    EXPECT_TRUE(time.substr(0, 6) == text(before, "%H%M%S") || time.substr(0, 6) == text(after, "%H%M%S")) << time;
    EXPECT_TRUE(std::all_of(time.begin(), time.end(), [](char ch) { return ch >= '0' && ch <= '9'; })) << time;
  }
}

TEST_F(EngineTest, AliasAndRemoteDefinitionsResolveToTheirTargets) {
  auto qm = openQm();
  ASSERT_TRUE(qm->define(localQueue("TARGET"), false).ok());
  ObjectDef alias{ObjectKind::Queue, "ALIAS", defaultAttributes(ObjectKind::Queue, "QALIAS")};
  alias.attrs["TARGET"] = "TARGET";
  ASSERT_TRUE(qm->define(alias, false).ok());
  ConnId c = connect(*qm);
  MQHOBJ out = open(*qm, c, "ALIAS", MQOO_OUTPUT);
  ASSERT_TRUE(put(*qm, c, out, "via alias").ok());
  MQHOBJ in = open(*qm, c, "TARGET", MQOO_INPUT_SHARED);
  std::string data;
  ASSERT_TRUE(get(*qm, c, in, data).ok());
  EXPECT_EQ(data, "via alias");
  MQLONG reason = 0;
  open(*qm, c, "SYSTEM.DEFAULT.REMOTE.QUEUE", MQOO_INPUT_SHARED, &reason);
  EXPECT_EQ(reason, MQRC_OPTION_NOT_VALID_FOR_TYPE);
}

TEST_F(EngineTest, DefinitionsAndPersistentMessagesSurviveARestart) {
  {
    auto qm = openQm();
    ASSERT_TRUE(qm->define(localQueue("KEEP", {{"DESCR", "kept = 100% \n safe "}}), false).ok());
    ConnId c = connect(*qm);
    MQHOBJ h = open(*qm, c, "KEEP", MQOO_OUTPUT);
    ASSERT_TRUE(put(*qm, c, h, "persistent one", MQPER_PERSISTENT).ok());
    ASSERT_TRUE(put(*qm, c, h, "gone at restart", MQPER_NOT_PERSISTENT).ok());
    ASSERT_TRUE(put(*qm, c, h, std::string("bin\0ary", 7), MQPER_PERSISTENT).ok());
    MQOD od = kvarn::mqi::defaultOD();
    setField(od.ObjectName, "SYSTEM.DURABLE.MODEL.QUEUE");
    setField(od.DynamicQName, "PERM.*");
    MQHOBJ dyn;
    ASSERT_TRUE(qm->open(c, od, MQOO_INPUT_SHARED, dyn).ok());
    qm->stop();
  }
  auto qm = openQm();
  auto def = qm->object(ObjectKind::Queue, "KEEP");
  ASSERT_TRUE(def);
  EXPECT_EQ(def->get("DESCR"), "kept = 100% \n safe ");
  ConnId c = connect(*qm);
  MQHOBJ h = open(*qm, c, "KEEP", MQOO_INPUT_SHARED);
  std::string data;
  ASSERT_TRUE(get(*qm, c, h, data).ok());
  EXPECT_EQ(data, "persistent one");
  ASSERT_TRUE(get(*qm, c, h, data).ok());
  EXPECT_EQ(data, std::string("bin\0ary", 7));
  EXPECT_EQ(get(*qm, c, h, data).reason, MQRC_NO_MSG_AVAILABLE);
  bool permanentDynamicKept = false;
  for (const auto& q : qm->objects(ObjectKind::Queue))
    if (q.name.rfind("PERM.", 0) == 0) permanentDynamicKept = q.get("DEFTYPE") == "PERMDYN";
  EXPECT_TRUE(permanentDynamicKept);
  // Model queues carry DEFTYPE(TEMPDYN) for the queues they make; they themselves are
  // definitions and must be kept.
  for (const char* model : {"SYSTEM.DEFAULT.MODEL.QUEUE", "SYSTEM.DURABLE.MODEL.QUEUE"})
    EXPECT_TRUE(qm->object(ObjectKind::Queue, model)) << model;
  // Messages got without syncpoint are gone after the next restart too.
  qm->stop();
  qm = openQm();
  c = connect(*qm);
  h = open(*qm, c, "KEEP", MQOO_INPUT_SHARED);
  EXPECT_EQ(get(*qm, c, h, data).reason, MQRC_NO_MSG_AVAILABLE);
}

TEST_F(EngineTest, DamagedFilesAreReportedAndLeftAlone) {
  { openQm()->stop(); }
  auto objects = home_.path() / "QME" / Store::kObjectsFile;
  std::string original;
  {
    std::ifstream in(objects);
    original.assign(std::istreambuf_iterator<char>(in), {});
  }
  std::string damaged = original.substr(0, original.size() / 2);
  std::ofstream(objects, std::ios::trunc) << damaged;
  std::string error;
  EXPECT_FALSE(QueueManager::open("QME", home_.path() / "QME", error));
  EXPECT_NE(error.find("damaged"), std::string::npos) << error;
  std::ifstream in(objects);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), damaged) << "a damaged file is never overwritten";

  std::ofstream(objects, std::ios::trunc) << original;
  auto messages = home_.path() / "QME" / Store::kMessagesFile;
  std::ofstream(messages, std::ios::binary) << "QMSMSG01 not really";
  EXPECT_FALSE(QueueManager::open("QME", home_.path() / "QME", error));
  EXPECT_NE(error.find(Store::kMessagesFile), std::string::npos) << error;
}

// Each change is appended to the journal and flushed at once, so another reader of
// the files (a restart after kill -9) sees it without a clean stop.
TEST_F(EngineTest, JournalledChangesAreReadBackAndFoldIntoTheSnapshot) {
  auto dir = home_.path() / "QME";
  auto qm = openQm();
  ASSERT_TRUE(qm->define(localQueue("A", {{"DESCR", "tab\there\nnewline %41 = sign "}}), false).ok());
  ASSERT_TRUE(qm->define(localQueue("B"), false).ok());
  ASSERT_TRUE(qm->alter(ObjectKind::Queue, "A", {{"MAXDEPTH", "77"}}).ok());
  ASSERT_TRUE(qm->remove(ObjectKind::Queue, "B", false).ok());
  qm->alterQMgr({{"DESCR", "journalled"}});
  auto readBack = [&](ObjectDef& qmgr, std::vector<ObjectDef>& objects) {
    Store reader(dir);
    std::string error;
    EXPECT_TRUE(reader.loadObjects(qmgr, objects, error)) << error;
  };
  auto find = [](const std::vector<ObjectDef>& objects, const std::string& name) -> const ObjectDef* {
    for (const auto& o : objects)
      if (o.name == name) return &o;
    return nullptr;
  };
  ObjectDef qmgr;
  std::vector<ObjectDef> objects;
  readBack(qmgr, objects);
  ASSERT_TRUE(find(objects, "A"));
  EXPECT_EQ(find(objects, "A")->get("DESCR"), "tab\there\nnewline %41 = sign ");
  EXPECT_EQ(find(objects, "A")->get("MAXDEPTH"), "77");
  EXPECT_FALSE(find(objects, "B"));
  EXPECT_EQ(qmgr.get("DESCR"), "journalled");

  // Enough changes to outgrow the snapshot: the journal is folded and starts again.
  for (int i = 0; i < 400; ++i)
    ASSERT_TRUE(qm->define(localQueue("MANY." + std::to_string(i), {{"DESCR", std::string(200, 'x')}}), false).ok());
  {
    std::ifstream in(dir / Store::kObjectsFile);
    std::string snapshot(std::istreambuf_iterator<char>(in), {});
    EXPECT_NE(snapshot.find("[QUEUE MANY.100]"), std::string::npos) << "the journal was never folded";
    EXPECT_LT(std::filesystem::file_size(dir / Store::kJournalFile), snapshot.size() + 70000);
  }
  readBack(qmgr, objects);
  EXPECT_TRUE(find(objects, "MANY.0") && find(objects, "MANY.399") && find(objects, "A"));
  qm->stop();
  qm.reset();

  // A torn last line (a crash in mid-append) is dropped, and the journal is folded on open.
  std::ofstream(dir / Store::kJournalFile, std::ios::app) << "P\tQUEUE\tHALF\tQTYPE=QLO";
  qm = openQm();
  EXPECT_FALSE(qm->object(ObjectKind::Queue, "HALF"));
  EXPECT_TRUE(qm->object(ObjectKind::Queue, "MANY.399"));
  ASSERT_TRUE(qm->define(localQueue("AFTER.TEAR"), false).ok());
  qm->stop();
  qm.reset();
  qm = openQm();
  EXPECT_TRUE(qm->object(ObjectKind::Queue, "AFTER.TEAR"));
  qm->stop();
  qm.reset();

  // A damaged line followed by others is not a torn append: refused, file left alone.
  std::string journal;
  {
    std::ifstream in(dir / Store::kJournalFile);
    journal.assign(std::istreambuf_iterator<char>(in), {});
  }
  std::string damaged = journal + "P\tQUEUE\tBAD\t#0000000000000000\n" + journal.substr(journal.find('\n') + 1);
  std::ofstream(dir / Store::kJournalFile, std::ios::trunc) << damaged;
  std::string error;
  EXPECT_FALSE(QueueManager::open("QME", dir, error));
  EXPECT_NE(error.find("damaged"), std::string::npos) << error;
  std::ifstream in(dir / Store::kJournalFile);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), damaged);
}

// A journal line the disk takes only in part (here: the file size limit) is cut off
// again, so the next change does not follow a torn line and the journal stays readable.
TEST_F(EngineTest, AJournalAppendCutShortIsRolledBack) {
  auto dir = home_.path() / "QME";
  { openQm()->stop(); }
  Store store(dir);
  ObjectDef qmgr;
  std::vector<ObjectDef> objects;
  std::string error;
  ASSERT_TRUE(store.loadObjects(qmgr, objects, error)) << error;
  ASSERT_TRUE(store.appendObject(localQueue("FIRST"), error)) << error;
  auto journal = dir / Store::kJournalFile;
  auto size = std::filesystem::file_size(journal);

  rlimit old{};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
  rlimit small = old;
  small.rlim_cur = static_cast<rlim_t>(size + 20);
  auto previous = std::signal(SIGXFSZ, SIG_IGN);
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
  bool appended = store.appendObject(localQueue("CUT", {{"DESCR", std::string(200, 'x')}}), error);
  ::setrlimit(RLIMIT_FSIZE, &old);
  std::signal(SIGXFSZ, previous);
  EXPECT_FALSE(appended);
  EXPECT_EQ(std::filesystem::file_size(journal), size);

  ASSERT_TRUE(store.appendObject(localQueue("AFTER"), error)) << error;
  Store reader(dir);
  ASSERT_TRUE(reader.loadObjects(qmgr, objects, error)) << error;
  std::set<std::string> names;
  for (const auto& o : objects) names.insert(o.name);
  EXPECT_TRUE(names.count("FIRST") && names.count("AFTER"));
  EXPECT_FALSE(names.count("CUT"));
}

// A waiting get re-checks the queue when it is redefined: GET(DISABLED) on the queue,
// or on the alias it reads through, ends the wait with 2016.
TEST_F(EngineTest, RedefiningWithGetDisabledEndsWaitingGets) {
  auto qm = openQm();
  ASSERT_TRUE(qm->define(localQueue("WAITED"), false).ok());
  ObjectDef alias{ObjectKind::Queue, "WAITED.ALIAS", defaultAttributes(ObjectKind::Queue, "QALIAS")};
  alias.attrs["TARGET"] = "WAITED";
  ASSERT_TRUE(qm->define(alias, false).ok());
  ConnId c = connect(*qm);
  MQHOBJ direct = open(*qm, c, "WAITED", MQOO_INPUT_SHARED);
  MQHOBJ viaAlias = open(*qm, c, "WAITED.ALIAS", MQOO_INPUT_SHARED);
  auto waitThenChange = [&](MQHOBJ h, const char* changed) {
    Outcome waited;
    std::thread waiter([&] {
      std::string data;
      waited = get(*qm, c, h, data, 10000);
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_TRUE(qm->alter(ObjectKind::Queue, changed, {{"GET", "DISABLED"}}).ok());
    waiter.join();
    return waited.reason;
  };
  EXPECT_EQ(waitThenChange(viaAlias, "WAITED.ALIAS"), MQRC_GET_INHIBITED);
  ASSERT_TRUE(qm->alter(ObjectKind::Queue, "WAITED.ALIAS", {{"GET", "ENABLED"}}).ok());
  EXPECT_EQ(waitThenChange(direct, "WAITED"), MQRC_GET_INHIBITED);
}

TEST_F(EngineTest, StopEndsWaitingGetsWith2162AndQuiesceGives2161) {
  auto qm = openQm();
  ConnId c = connect(*qm);
  MQHOBJ h = open(*qm, c, "SYSTEM.DEFAULT.LOCAL.QUEUE", MQOO_INPUT_SHARED);
  Outcome waited;
  std::thread waiter([&] {
    std::string data;
    waited = get(*qm, c, h, data, MQWI_UNLIMITED);
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  qm->quiesce();
  waiter.join();
  EXPECT_EQ(waited.reason, MQRC_Q_MGR_QUIESCING);
  ConnId late = 0;
  EXPECT_EQ(qm->connect({}, late).reason, MQRC_Q_MGR_QUIESCING);
  std::thread waiter2([&] {
    MQMD md = kvarn::mqi::defaultMD();
    MQGMO gmo = kvarn::mqi::defaultGMO();
    gmo.Options = MQGMO_WAIT;  // not fail-if-quiescing: only the stop ends it
    gmo.WaitInterval = MQWI_UNLIMITED;
    MQLONG len;
    waited = qm->get(c, h, md, gmo, 0, nullptr, len);
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  qm->stop();
  waiter2.join();
  EXPECT_EQ(waited.reason, MQRC_Q_MGR_STOPPING);
}

TEST_F(EngineTest, AdministrationSeesConnectionsHandlesAndServices) {
  auto qm = openQm();
  ConnId c = connect(*qm);
  open(*qm, c, "SYSTEM.DEFAULT.LOCAL.QUEUE", MQOO_INPUT_SHARED | MQOO_OUTPUT);
  auto conns = qm->connections();
  ASSERT_EQ(conns.size(), 1u);
  EXPECT_EQ(conns[0].params.userId, "tester");
  ASSERT_EQ(conns[0].handles.size(), 1u);
  EXPECT_EQ(conns[0].handles[0].objectName, "SYSTEM.DEFAULT.LOCAL.QUEUE");
  auto st = qm->queueStatus("SYSTEM.DEFAULT.LOCAL.QUEUE");
  EXPECT_EQ(st->openInput, 1);
  EXPECT_EQ(st->openOutput, 1);
  std::atomic<bool> stopped{false};
  qm->startService([&](std::stop_token token) {
    while (!token.stop_requested()) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    stopped = true;
  });
  qm->disconnect(c);
  EXPECT_TRUE(qm->connections().empty());
  EXPECT_EQ(qm->queueStatus("SYSTEM.DEFAULT.LOCAL.QUEUE")->openInput, 0);
  qm->stop();
  EXPECT_TRUE(stopped);
}

TEST_F(EngineTest, PutNamingAnotherHostedQueueManagerIsRoutedThere) {
  Registry registry;
  std::string error;
  auto a = registry.host(home_.path(), "QMA", true, error);
  auto b = registry.host(home_.path(), "QMB", true, error);
  ASSERT_TRUE(a && b) << error;
  std::unique_ptr<Session> s;
  ASSERT_TRUE(Session::connect(registry, b, {"test", "tester", "", ""}, s).ok());
  MQOD od = kvarn::mqi::defaultOD();
  setField(od.ObjectName, "SYSTEM.ADMIN.COMMAND.QUEUE");
  setField(od.ObjectQMgrName, "QMA");
  MQHOBJ h;
  ASSERT_TRUE(s->open(od, MQOO_OUTPUT, h).ok());
  MQMD md = kvarn::mqi::defaultMD();
  MQPMO pmo = kvarn::mqi::defaultPMO();
  ASSERT_TRUE(s->put(h, md, pmo, "for A").ok());
  EXPECT_EQ(a->queueStatus("SYSTEM.ADMIN.COMMAND.QUEUE")->depth, 1);
  EXPECT_EQ(b->queueStatus("SYSTEM.ADMIN.COMMAND.QUEUE")->depth, 0);
  setField(od.ObjectQMgrName, "NOWHERE");
  EXPECT_EQ(s->open(od, MQOO_OUTPUT, h).reason, MQRC_UNKNOWN_REMOTE_Q_MGR);
  // A second registry (another process) cannot host a queue manager this one holds.
  Registry other;
  bool busy = false;
  EXPECT_FALSE(other.host(home_.path(), "QMA", true, error, &busy));
  EXPECT_TRUE(busy);
}

using Texts = std::vector<std::string>;

// Each connection's MQCMIT and MQBACK end its own unit of work alone, on every queue
// it touched: puts become visible or vanish, got messages go or come back with their
// backout count raised, and other connections' units are left as they were.
TEST_F(EngineTest, CommitAndBackoutEndOnlyTheirOwnConnectionsUnitOnEveryQueue) {
  auto qm = openQm();
  for (const char* q : {"UOW.A", "UOW.B", "UOW.C", "UOW.UNTOUCHED"}) ASSERT_TRUE(qm->define(localQueue(q), false).ok());
  ConnId one = connect(*qm), two = connect(*qm), other = connect(*qm);
  auto both = MQOO_INPUT_SHARED | MQOO_OUTPUT;
  MQHOBJ oneA = open(*qm, one, "UOW.A", both), oneB = open(*qm, one, "UOW.B", both);
  MQHOBJ twoB = open(*qm, two, "UOW.B", both), twoC = open(*qm, two, "UOW.C", both);
  MQHOBJ otherA = open(*qm, other, "UOW.A", MQOO_OUTPUT), otherB = open(*qm, other, "UOW.B", MQOO_OUTPUT);
  MQHOBJ otherU = open(*qm, other, "UOW.UNTOUCHED", MQOO_OUTPUT);
  ASSERT_TRUE(put(*qm, other, otherA, "a0").ok());
  ASSERT_TRUE(put(*qm, other, otherB, "b0").ok());
  ASSERT_TRUE(put(*qm, other, otherU, "u0").ok());

  ASSERT_TRUE(putInUnit(*qm, one, oneA, "a1").ok());
  ASSERT_TRUE(putInUnit(*qm, one, oneB, "b1").ok());
  EXPECT_EQ(getInUnit(*qm, one, oneA), "a0");
  ASSERT_TRUE(putInUnit(*qm, two, twoB, "b2").ok());
  ASSERT_TRUE(putInUnit(*qm, two, twoC, "c2").ok());
  EXPECT_EQ(getInUnit(*qm, two, twoB), "b0");
  EXPECT_EQ(visible(*qm, "UOW.A"), Texts{});
  EXPECT_EQ(visible(*qm, "UOW.B"), Texts{});
  EXPECT_EQ(visible(*qm, "UOW.C"), Texts{});
  EXPECT_EQ(depths(*qm, "UOW.A"), "2/2");
  EXPECT_EQ(depths(*qm, "UOW.B"), "3/3");
  EXPECT_EQ(depths(*qm, "UOW.C"), "1/1");

  ASSERT_TRUE(qm->backout(two).ok());
  EXPECT_EQ(visible(*qm, "UOW.B"), Texts{"b0/1"});
  EXPECT_EQ(depths(*qm, "UOW.B"), "2/1") << "one's put stays uncommitted";
  EXPECT_EQ(depths(*qm, "UOW.C"), "0/0");
  EXPECT_EQ(depths(*qm, "UOW.A"), "2/2") << "one's unit is untouched by two's backout";

  ASSERT_TRUE(qm->commit(one).ok());
  EXPECT_EQ(visible(*qm, "UOW.A"), Texts{"a1/0"});
  EXPECT_EQ(visible(*qm, "UOW.B"), (Texts{"b0/1", "b1/0"}));
  EXPECT_EQ(depths(*qm, "UOW.A"), "1/0");
  EXPECT_EQ(depths(*qm, "UOW.B"), "2/0");
  EXPECT_EQ(visible(*qm, "UOW.UNTOUCHED"), Texts{"u0/0"});

  // Later units of the same connections: each backout counts again, an empty unit
  // changes nothing, and a lock is ended only by its own connection.
  EXPECT_EQ(getInUnit(*qm, one, oneB), "b0");
  ASSERT_TRUE(qm->backout(one).ok());
  EXPECT_EQ(visible(*qm, "UOW.B"), (Texts{"b0/2", "b1/0"}));
  ASSERT_TRUE(qm->commit(two).ok());
  ASSERT_TRUE(qm->backout(two).ok());
  EXPECT_EQ(visible(*qm, "UOW.B"), (Texts{"b0/2", "b1/0"}));
  EXPECT_EQ(getInUnit(*qm, two, twoB), "b0");
  ASSERT_TRUE(qm->backout(one).ok());
  ASSERT_TRUE(qm->commit(other).ok());
  EXPECT_EQ(depths(*qm, "UOW.B"), "2/1");
  ASSERT_TRUE(qm->commit(two).ok());
  EXPECT_EQ(visible(*qm, "UOW.B"), Texts{"b1/0"});
  EXPECT_EQ(depths(*qm, "UOW.B"), "1/0");
  EXPECT_EQ(visible(*qm, "UOW.UNTOUCHED"), Texts{"u0/0"});
}

// The store learns of a unit's persistent changes when the unit ends: committed puts
// and gets survive a restart, a backed-out put never reaches it.
TEST_F(EngineTest, AUnitsPersistentChangesAreStoredWhenItEnds) {
  auto qm = openQm();
  ASSERT_TRUE(qm->define(localQueue("UOW.P"), false).ok());
  ConnId one = connect(*qm), two = connect(*qm), other = connect(*qm);
  auto both = MQOO_INPUT_SHARED | MQOO_OUTPUT;
  MQHOBJ oneP = open(*qm, one, "UOW.P", both), twoP = open(*qm, two, "UOW.P", both);
  MQHOBJ otherP = open(*qm, other, "UOW.P", MQOO_OUTPUT);
  ASSERT_TRUE(put(*qm, other, otherP, "taken", MQPER_PERSISTENT).ok());
  ASSERT_TRUE(put(*qm, other, otherP, "returned", MQPER_PERSISTENT).ok());
  ASSERT_TRUE(putInUnit(*qm, one, oneP, "kept", MQPER_PERSISTENT).ok());
  EXPECT_EQ(getInUnit(*qm, one, oneP), "taken");
  ASSERT_TRUE(putInUnit(*qm, two, twoP, "dropped", MQPER_PERSISTENT).ok());
  EXPECT_EQ(getInUnit(*qm, two, twoP), "returned");
  ASSERT_TRUE(qm->commit(one).ok());
  ASSERT_TRUE(qm->backout(two).ok());
  EXPECT_EQ(visible(*qm, "UOW.P"), (Texts{"returned/1", "kept/0"}));
  qm->stop();
  qm.reset();
  qm = openQm();
  ASSERT_TRUE(qm);
  EXPECT_EQ(depths(*qm, "UOW.P"), "2/0");
  Texts restarted = visible(*qm, "UOW.P");
  ASSERT_EQ(restarted.size(), 2u);
  EXPECT_EQ(restarted[0].substr(0, 9), "returned/");
  EXPECT_EQ(restarted[1], "kept/0");

  // A unit still open at a stop leaves its puts out of the store and its gets in it.
  ConnId three = connect(*qm);
  MQHOBJ threeP = open(*qm, three, "UOW.P", both);
  ASSERT_TRUE(putInUnit(*qm, three, threeP, "unfinished", MQPER_PERSISTENT).ok());
  EXPECT_EQ(getInUnit(*qm, three, threeP), "returned");
  ASSERT_TRUE(put(*qm, three, threeP, "saved now", MQPER_PERSISTENT).ok());
  qm->stop();
  qm.reset();
  qm = openQm();
  ASSERT_TRUE(qm);
  Texts again = visible(*qm, "UOW.P");
  ASSERT_EQ(again.size(), 3u);
  EXPECT_EQ(again[0].substr(0, 9), "returned/");
  EXPECT_EQ(again[1], "kept/0");
  EXPECT_EQ(again[2], "saved now/0");
}

// A queue may be deleted (and defined again) or cleared while a unit holds messages on
// it: the unit then ends on what is left, and never brings back a message that went
// with the queue, on the queue of the same name defined since, or on a cleared one.
TEST_F(EngineTest, AUnitEndsCleanlyOnQueuesDeletedOrClearedMeanwhile) {
  for (bool commit : {true, false}) {
    SCOPED_TRACE(commit ? "commit" : "backout");
    const std::string qmName = commit ? "QMC" : "QMB";
    auto qm = openQm(qmName);
    for (const char* q : {"GONE", "EMPTIED", "KEPT"}) ASSERT_TRUE(qm->define(localQueue(q), false).ok());
    ConnId unit = connect(*qm), other = connect(*qm);
    auto both = MQOO_INPUT_SHARED | MQOO_OUTPUT;
    MQHOBJ gone = open(*qm, unit, "GONE", both), emptied = open(*qm, unit, "EMPTIED", both);
    MQHOBJ kept = open(*qm, unit, "KEPT", both);
    MQHOBJ otherGone = open(*qm, other, "GONE", MQOO_OUTPUT), otherEmptied = open(*qm, other, "EMPTIED", MQOO_OUTPUT);
    ASSERT_TRUE(put(*qm, other, otherGone, "g0", MQPER_PERSISTENT).ok());
    ASSERT_TRUE(put(*qm, other, otherEmptied, "e0", MQPER_PERSISTENT).ok());
    ASSERT_TRUE(qm->close(other, otherGone, MQCO_NONE).ok());
    ASSERT_TRUE(qm->close(other, otherEmptied, MQCO_NONE).ok());

    ASSERT_TRUE(putInUnit(*qm, unit, gone, "g1", MQPER_PERSISTENT).ok());
    EXPECT_EQ(getInUnit(*qm, unit, gone), "g0");
    ASSERT_TRUE(putInUnit(*qm, unit, emptied, "e1").ok());
    EXPECT_EQ(getInUnit(*qm, unit, emptied), "e0");
    ASSERT_TRUE(putInUnit(*qm, unit, kept, "k1").ok());
    // A temporary dynamic queue that goes when it is closed, with a message of the unit.
    MQOD od = kvarn::mqi::defaultOD();
    setField(od.ObjectName, "SYSTEM.DEFAULT.MODEL.QUEUE");
    setField(od.DynamicQName, "UOW.TEMP.*");
    MQHOBJ temp = MQHO_NONE;
    ASSERT_TRUE(qm->open(unit, od, both, temp).ok());
    std::string tempName = fieldText(od.ObjectName);
    ASSERT_TRUE(putInUnit(*qm, unit, temp, "t1").ok());
    ASSERT_TRUE(qm->close(unit, temp, MQCO_NONE).ok());
    EXPECT_FALSE(qm->queueStatus(tempName));
    ASSERT_TRUE(qm->close(unit, gone, MQCO_NONE).ok());
    ASSERT_TRUE(qm->close(unit, emptied, MQCO_NONE).ok());

    EXPECT_EQ(qm->remove(ObjectKind::Queue, "GONE", false).reason, MQRC_Q_NOT_EMPTY);
    ASSERT_TRUE(qm->remove(ObjectKind::Queue, "GONE", true).ok());
    ASSERT_TRUE(qm->define(localQueue("GONE"), false).ok());
    ASSERT_TRUE(qm->clearQueue("EMPTIED").ok());
    otherGone = open(*qm, other, "GONE", MQOO_OUTPUT);
    otherEmptied = open(*qm, other, "EMPTIED", MQOO_OUTPUT);
    ASSERT_TRUE(put(*qm, other, otherGone, "g2").ok());
    ASSERT_TRUE(put(*qm, other, otherEmptied, "e2").ok());
    // The unit goes on with the queue defined anew.
    gone = open(*qm, unit, "GONE", both);
    ASSERT_TRUE(putInUnit(*qm, unit, gone, "g3").ok());
    EXPECT_EQ(depths(*qm, "GONE"), "2/1");

    ASSERT_TRUE(commit ? qm->commit(unit).ok() : qm->backout(unit).ok());
    EXPECT_EQ(visible(*qm, "GONE"), commit ? (Texts{"g2/0", "g3/0"}) : Texts{"g2/0"});
    EXPECT_EQ(visible(*qm, "EMPTIED"), Texts{"e2/0"});
    EXPECT_EQ(visible(*qm, "KEPT"), commit ? Texts{"k1/0"} : Texts{});
    EXPECT_EQ(depths(*qm, "GONE"), commit ? "2/0" : "1/0");
    EXPECT_EQ(depths(*qm, "EMPTIED"), "1/0");
    EXPECT_EQ(depths(*qm, "KEPT"), commit ? "1/0" : "0/0");
    // Nothing is left over for the connection's next unit.
    ASSERT_TRUE(qm->backout(unit).ok());
    EXPECT_EQ(visible(*qm, "GONE"), commit ? (Texts{"g2/0", "g3/0"}) : Texts{"g2/0"});
    EXPECT_EQ(visible(*qm, "EMPTIED"), Texts{"e2/0"});

    // The persistent messages that went with the old queue stay gone after a restart.
    qm->stop();
    qm.reset();
    qm = openQm(qmName);
    ASSERT_TRUE(qm);
    EXPECT_EQ(visible(*qm, "GONE"), Texts{});
    EXPECT_EQ(visible(*qm, "EMPTIED"), Texts{});
  }
}

// Ending a unit wakes the gets waiting on its queues: a commit for the puts it makes
// visible, a backout or a disconnect for the messages it had got.
TEST_F(EngineTest, EndingAUnitWakesGetsWaitingForItsMessages) {
  auto qm = openQm();
  for (const char* q : {"UOW.W1", "UOW.W2"}) ASSERT_TRUE(qm->define(localQueue(q), false).ok());
  ConnId unit = connect(*qm), waiter = connect(*qm);
  auto both = MQOO_INPUT_SHARED | MQOO_OUTPUT;
  MQHOBJ w1 = open(*qm, unit, "UOW.W1", both), w2 = open(*qm, unit, "UOW.W2", both);
  MQHOBJ waitW1 = open(*qm, waiter, "UOW.W1", both), waitW2 = open(*qm, waiter, "UOW.W2", MQOO_INPUT_SHARED);

  // An unlimited wait that nothing wakes never ends: a watchdog stops the queue manager
  // after a generous while, so that the test fails rather than hangs.
  auto waitFor = [&](MQHOBJ h) {
    return std::async(std::launch::async, [&, h] {
      MQMD md = kvarn::mqi::defaultMD();
      MQGMO gmo = kvarn::mqi::defaultGMO();
      gmo.Options = MQGMO_WAIT | MQGMO_NO_SYNCPOINT;
      gmo.WaitInterval = MQWI_UNLIMITED;
      char buf[64];
      MQLONG len = 0;
      Outcome o = qm->get(waiter, h, md, gmo, sizeof buf, buf, len);
      return o.ok() ? std::string(buf, static_cast<size_t>(len)) + "/" + std::to_string(md.BackoutCount)
                    : "reason " + std::to_string(o.reason);
    });
  };
  auto result = [&](std::future<std::string>& f) {
    if (f.wait_for(std::chrono::seconds(60)) != std::future_status::ready) {
      ADD_FAILURE() << "a waiting get was never woken";
      qm->stop();
    }
    return f.get();
  };

  // Each waiter starts after the unit's own put or get, which wakes waiters too, and
  // is given a moment to settle into its wait before the unit ends.
  ASSERT_TRUE(putInUnit(*qm, unit, w2, "p1").ok());
  auto committed = waitFor(waitW2);
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  ASSERT_TRUE(qm->commit(unit).ok());
  EXPECT_EQ(result(committed), "p1/0");

  ASSERT_TRUE(put(*qm, waiter, waitW1, "w0").ok());
  EXPECT_EQ(getInUnit(*qm, unit, w1), "w0");
  auto backedOut = waitFor(waitW1);
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  ASSERT_TRUE(qm->backout(unit).ok());
  EXPECT_EQ(result(backedOut), "w0/1");

  ASSERT_TRUE(put(*qm, waiter, waitW1, "w1").ok());
  EXPECT_EQ(getInUnit(*qm, unit, w1), "w1");
  ASSERT_TRUE(putInUnit(*qm, unit, w2, "p2").ok());
  auto disconnected = waitFor(waitW1);
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  qm->disconnect(unit);
  EXPECT_EQ(result(disconnected), "w1/1");
  EXPECT_EQ(depths(*qm, "UOW.W2"), "0/0") << "the disconnect backed out p2";
}

// Queue manager names become directory names as IBM MQ maps them, so that none leaves
// the qmsim home; ordinary names and stored directories of names with '.' still work.
TEST(QueueManagerNames, MapToDirectoriesInsideTheHome) {
  qmsim_test::TempHome home;
  EXPECT_EQ(qmgrDir(home.path(), "QM1"), home.path() / "QM1");
  EXPECT_EQ(qmgrDir(home.path(), "../outside/EVIL"), home.path() / "!!&outside&EVIL");
  EXPECT_EQ(qmgrDir(home.path(), ".."), home.path() / "!!");
  EXPECT_EQ(qmgrDir(home.path(), "a.b%c_d"), home.path() / "a!b%c_d");
  EXPECT_EQ(qmgrNameOfDir("!!&outside&EVIL"), "../outside/EVIL");

  // A queue manager stored before names were mapped keeps its directory.
  std::string error;
  auto legacy = QueueManager::open("OLD.QM", home.path() / "OLD.QM", error);
  ASSERT_TRUE(legacy) << error;
  legacy->stop();
  EXPECT_EQ(qmgrDir(home.path(), "OLD.QM"), home.path() / "OLD.QM");
  EXPECT_EQ(qmgrDir(home.path(), "NEW.QM"), home.path() / "NEW!QM");
}

TEST(QueueManagerNames, ProgramAndServerBindingsStayInsideTheHome) {
  qmsim_test::TempHome home;
  std::string unique = home.path().filename().string();
  unique = "OUT_" + unique.substr(unique.size() - 6);  // the home's own random letters
  auto outside = home.path().parent_path() / unique;
  std::string evil = "../" + unique + "/EVIL";
  auto r = qmsim_test::runQmsim({"create", evil});
  ASSERT_EQ(r.exitCode, 0) << r.out;
  EXPECT_TRUE(std::filesystem::exists(qmgrDir(home.path(), evil) / "objects.qms"));
  EXPECT_FALSE(std::filesystem::exists(outside));
  r = qmsim_test::runQmsim({"list"});
  EXPECT_NE(r.out.find(evil), std::string::npos) << r.out;
  EXPECT_EQ(qmsim_test::runQmsim({"delete", evil}).exitCode, 0);
  EXPECT_FALSE(std::filesystem::exists(qmgrDir(home.path(), evil)));
  EXPECT_EQ(qmsim_test::runQmsim({"create", "BAD NAME"}).exitCode, 1);

  auto& api = qmsim_test::MqApi::load(qmsim_test::buildPath("lib/kvarn/libmqm_r.so").c_str());
  // stderr goes to a file for the connects, to see what the library says.
  auto said = home.path() / "stderr.txt";
  std::fflush(stderr);
  int saved = ::dup(2);
  int file = ::open(said.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  ::dup2(file, 2);
  ::close(file);
  auto connect = [&](const std::string& text) {
    char name[48];
    setField(name, text);
    MQHCONN h = MQHC_UNUSABLE_HCONN;
    MQLONG cc, rc;
    api.MQCONN(name, &h, &cc, &rc);
    if (rc == MQRC_NONE) api.MQDISC(&h, &cc, &rc);
    return rc;
  };
  MQLONG evilRc = connect(evil);
  MQLONG badRc = connect("BAD*NAME");
  MQLONG againRc = connect(evil);
  std::fflush(stderr);
  ::dup2(saved, 2);
  ::close(saved);
  EXPECT_EQ(evilRc, MQRC_NONE);
  EXPECT_EQ(badRc, MQRC_Q_MGR_NAME_ERROR);
  EXPECT_EQ(againRc, MQRC_NONE);
  EXPECT_TRUE(std::filesystem::exists(qmgrDir(home.path(), evil) / "objects.qms"));
  EXPECT_FALSE(std::filesystem::exists(outside));
  std::ifstream in(said);
  std::string text((std::istreambuf_iterator<char>(in)), {});
  EXPECT_EQ(text, "qmsim: created queue manager '" + evil + "' under " + qmgrDir(home.path(), evil).string() +
                      " (first connection)\n")
      << "announced once, on the connect that created it";
}

}  // namespace
