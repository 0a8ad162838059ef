// The MQI as KVARN sees it, through dlopen, in server bindings (queue manager in
// this process) and client bindings (a qmsim server process over TCP).
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

#include "qmsim_test_support.h"

using namespace qmsim_test;
using kvarn::mqi::fieldText;
using kvarn::mqi::setField;

namespace {

enum class Binding { Server, Client };

struct Result {
  MQLONG cc = -1;
  MQLONG rc = -1;
};

class MqiTest : public ::testing::TestWithParam<Binding> {
 protected:
  void SetUp() override {
    if (GetParam() == Binding::Server) {
      api_ = &MqApi::load(buildPath("lib/kvarn/libmqm_r.so").c_str());
    } else {
      ASSERT_EQ(runQmsim({"create", "QMT"}).exitCode, 0);
      server_ = std::make_unique<ServerProcess>(std::vector<std::string>{"QMT"});
      api_ = &MqApi::load(buildPath("lib/kvarn/libmqic_r.so").c_str());
    }
  }
  void TearDown() override {
    for (MQHCONN h : hconns_) {
      MQLONG cc, rc;
      api_->MQDISC(&h, &cc, &rc);
    }
    server_.reset();
  }

  Result connect(MQHCONN& hconn, const char* qmgr = "QMT", const char* channel = "SYSTEM.DEF.SVRCONN",
                 const char* user = nullptr, const char* password = nullptr) {
    MQCNO cno = kvarn::mqi::defaultCNO();
    MQCD cd = kvarn::mqi::defaultClientConnCD();
    MQCSP csp = kvarn::mqi::defaultCSP();
    if (GetParam() == Binding::Client) {
      setField(cd.ChannelName, channel);
      setField(cd.ConnectionName, "127.0.0.1(" + std::to_string(server_->port()) + ")");
      cno.Version = MQCNO_VERSION_2;
      cno.ClientConnPtr = &cd;
      cno.Options = MQCNO_CLIENT_BINDING;
    }
    if (user) {
      cno.Version = MQCNO_VERSION_5;
      csp.AuthenticationType = MQCSP_AUTH_USER_ID_AND_PWD;
      csp.CSPUserIdPtr = const_cast<char*>(user);
      csp.CSPUserIdLength = static_cast<MQLONG>(std::strlen(user));
      csp.CSPPasswordPtr = const_cast<char*>(password);
      csp.CSPPasswordLength = static_cast<MQLONG>(std::strlen(password));
      cno.SecurityParmsPtr = &csp;
    }
    char name[48];
    setField(name, qmgr);
    Result r;
    api_->MQCONNX(name, &cno, &hconn, &r.cc, &r.rc);
    if (r.cc != MQCC_FAILED) hconns_.push_back(hconn);
    return r;
  }

  MQHCONN connectOk() {
    MQHCONN h = MQHC_UNUSABLE_HCONN;
    Result r = connect(h);
    EXPECT_EQ(r.rc, MQRC_NONE);
    return h;
  }

  void disconnect(MQHCONN& h) {
    Result r;
    api_->MQDISC(&h, &r.cc, &r.rc);
    EXPECT_EQ(r.rc, MQRC_NONE);
    std::erase(hconns_, h);
  }

  Result open(MQHCONN h, const std::string& name, MQLONG options, MQHOBJ& hobj, MQOD* odOut = nullptr,
              const std::string& dynamicName = "AMQ.*") {
    MQOD od = kvarn::mqi::defaultOD();
    setField(od.ObjectName, name);
    setField(od.DynamicQName, dynamicName);
    Result r;
    api_->MQOPEN(h, &od, options, &hobj, &r.cc, &r.rc);
    if (odOut) *odOut = od;
    return r;
  }

  Result put(MQHCONN h, MQHOBJ hobj, const std::string& data, MQMD* mdIo = nullptr,
             MQLONG pmoOptions = MQPMO_NO_SYNCPOINT) {
    MQMD md = mdIo ? *mdIo : kvarn::mqi::defaultMD();
    MQPMO pmo = kvarn::mqi::defaultPMO();
    pmo.Options = pmoOptions;
    Result r;
    api_->MQPUT(h, hobj, &md, &pmo, static_cast<MQLONG>(data.size()), const_cast<char*>(data.data()), &r.cc, &r.rc);
    if (mdIo) *mdIo = md;
    return r;
  }

  Result get(MQHCONN h, MQHOBJ hobj, std::string& data, MQMD* mdIo = nullptr, MQLONG wait = 0,
             MQLONG bufferLength = 4096, MQLONG extraOptions = 0, MQLONG* dataLengthOut = nullptr) {
    MQMD md = mdIo ? *mdIo : kvarn::mqi::defaultMD();
    MQGMO gmo = kvarn::mqi::defaultGMO();
    gmo.Options = MQGMO_NO_SYNCPOINT | MQGMO_FAIL_IF_QUIESCING | MQGMO_CONVERT | extraOptions;
    if (wait != 0) {
      gmo.Options |= MQGMO_WAIT;
      gmo.WaitInterval = wait;
    }
    std::string buffer(static_cast<size_t>(bufferLength), '\0');
    MQLONG dataLength = -1;
    Result r;
    api_->MQGET(h, hobj, &md, &gmo, bufferLength, buffer.data(), &dataLength, &r.cc, &r.rc);
    if (r.cc != MQCC_FAILED) data.assign(buffer.data(), static_cast<size_t>(std::min(dataLength, bufferLength)));
    if (mdIo) *mdIo = md;
    if (dataLengthOut) *dataLengthOut = dataLength;
    return r;
  }

  TempHome home_;
  MqApi* api_ = nullptr;
  std::unique_ptr<ServerProcess> server_;
  std::vector<MQHCONN> hconns_;
};

TEST_P(MqiTest, EveryEntryPointIsExportedAndTheOptionalOnesReport2298) {
#define QMSIM_TEST_PRESENT(name, params) EXPECT_NE(reinterpret_cast<void*>(api_->name), nullptr) << #name;
  KVARN_MQI_ENTRY_POINTS(QMSIM_TEST_PRESENT)
#undef QMSIM_TEST_PRESENT
  MQHCONN h = connectOk();
  Result r;
  api_->MQSTAT(h, 0, nullptr, &r.cc, &r.rc);
  EXPECT_EQ(r.cc, MQCC_FAILED);
  EXPECT_EQ(r.rc, MQRC_FUNCTION_NOT_SUPPORTED);
  api_->MQCTL(h, 0, nullptr, &r.cc, &r.rc);
  EXPECT_EQ(r.rc, MQRC_FUNCTION_NOT_SUPPORTED);
}

TEST_P(MqiTest, ConnectsAndInquiresTheQueueManagerName) {
  MQHCONN h = connectOk();
  MQOD od = kvarn::mqi::defaultOD();
  od.ObjectType = MQOT_Q_MGR;
  MQHOBJ hobj;
  Result r;
  api_->MQOPEN(h, &od, MQOO_INQUIRE, &hobj, &r.cc, &r.rc);
  ASSERT_EQ(r.rc, MQRC_NONE);
  MQLONG selectors[3] = {MQCA_Q_MGR_NAME, MQIA_COMMAND_LEVEL, MQIA_PLATFORM};
  MQLONG ints[2] = {0, 0};
  char chars[48];
  api_->MQINQ(h, hobj, 3, selectors, 2, ints, 48, chars, &r.cc, &r.rc);
  ASSERT_EQ(r.rc, MQRC_NONE);
  EXPECT_EQ(fieldText(chars, 48), "QMT");
  EXPECT_GT(ints[0], 0);
  EXPECT_EQ(ints[1], MQPL_UNIX);
  api_->MQCLOSE(h, &hobj, MQCO_NONE, &r.cc, &r.rc);
  EXPECT_EQ(r.rc, MQRC_NONE);
  EXPECT_EQ(hobj, MQHO_UNUSABLE_HOBJ);
}

TEST_P(MqiTest, BadHandlesAndUnknownObjectsGiveIbmReasons) {
  MQHCONN h = connectOk();
  MQHOBJ hobj = MQHO_NONE;
  EXPECT_EQ(open(h, "NO.SUCH.QUEUE", MQOO_OUTPUT, hobj).rc, MQRC_UNKNOWN_OBJECT_NAME);
  EXPECT_EQ(open(12345, "SYSTEM.DEFAULT.LOCAL.QUEUE", MQOO_OUTPUT, hobj).rc, MQRC_HCONN_ERROR);
  EXPECT_EQ(put(h, 999, "x").rc, MQRC_HOBJ_ERROR);
  EXPECT_EQ(open(h, "SYSTEM.DEFAULT.LOCAL.QUEUE", MQOO_INPUT_SHARED | MQOO_INPUT_EXCLUSIVE, hobj).rc,
            MQRC_OPTIONS_ERROR);
  // A structure with the wrong eye-catcher is refused before anything happens.
  MQOD od = kvarn::mqi::defaultOD();
  std::memcpy(od.StrucId, "XX  ", 4);
  Result r;
  api_->MQOPEN(h, &od, MQOO_OUTPUT, &hobj, &r.cc, &r.rc);
  EXPECT_EQ(r.rc, MQRC_OD_ERROR);
  // An output-only handle cannot get, an input-only handle cannot put.
  ASSERT_EQ(open(h, "SYSTEM.DEFAULT.LOCAL.QUEUE", MQOO_OUTPUT, hobj).rc, MQRC_NONE);
  std::string data;
  EXPECT_EQ(get(h, hobj, data).rc, MQRC_NOT_OPEN_FOR_INPUT);
  MQHCONN gone = h;
  disconnect(h);
  EXPECT_EQ(put(gone, hobj, "x").rc, MQRC_HCONN_ERROR);
}

TEST_P(MqiTest, ModelQueueGivesUniqueDynamicNamesAndRequestReplyMatchesByCorrelId) {
  MQHCONN h = connectOk();
  MQOD od1, od2;
  MQHOBJ reply1, reply2;
  ASSERT_EQ(
      open(h, "SYSTEM.DEFAULT.MODEL.QUEUE", MQOO_INPUT_EXCLUSIVE | MQOO_READ_AHEAD, reply1, &od1, "KVARN.TEST.*").rc,
      MQRC_NONE);
  ASSERT_EQ(open(h, "SYSTEM.DEFAULT.MODEL.QUEUE", MQOO_INPUT_EXCLUSIVE, reply2, &od2, "KVARN.TEST.*").rc, MQRC_NONE);
  std::string name1 = fieldText(od1.ObjectName), name2 = fieldText(od2.ObjectName);
  EXPECT_EQ(name1.rfind("KVARN.TEST.", 0), 0u) << name1;
  EXPECT_NE(name1, name2);
  EXPECT_LE(name1.size(), 48u);

  MQHOBJ out;
  ASSERT_EQ(open(h, name1, MQOO_OUTPUT, out).rc, MQRC_NONE);
  // Three replies with different correlation ids; the middle one is fetched by id.
  for (int i = 0; i < 3; ++i) {
    MQMD md = kvarn::mqi::defaultMD();
    md.MsgType = MQMT_REPLY;
    std::memset(md.CorrelId, 'A' + i, 24);
    std::memset(md.MsgId, 'a' + i, 24);
    ASSERT_EQ(put(h, out, "reply " + std::to_string(i), &md).rc, MQRC_NONE);
    EXPECT_EQ(md.MsgId[0], 'a' + i) << "a message id the putter set is used unchanged";
  }
  MQMD want = kvarn::mqi::defaultMD();
  std::memset(want.CorrelId, 'B', 24);
  std::string data;
  ASSERT_EQ(get(h, reply1, data, &want).rc, MQRC_NONE);
  EXPECT_EQ(data, "reply 1");
  EXPECT_EQ(want.MsgType, MQMT_REPLY);
  EXPECT_EQ(want.MsgId[0], 'b');
  MQMD again = kvarn::mqi::defaultMD();
  std::memset(again.CorrelId, 'B', 24);
  EXPECT_EQ(get(h, reply1, data, &again).rc, MQRC_NO_MSG_AVAILABLE);
  MQMD any = kvarn::mqi::defaultMD();
  ASSERT_EQ(get(h, reply1, data, &any).rc, MQRC_NONE);
  EXPECT_EQ(data, "reply 0");
}

TEST_P(MqiTest, TemporaryDynamicQueueGoesWithItsHandleOrConnection) {
  MQHCONN h = connectOk();
  MQHCONN other = connectOk();
  MQOD od;
  MQHOBJ in;
  ASSERT_EQ(open(h, "SYSTEM.DEFAULT.MODEL.QUEUE", MQOO_INPUT_EXCLUSIVE, in, &od).rc, MQRC_NONE);
  std::string name = fieldText(od.ObjectName);
  MQHOBJ out;
  ASSERT_EQ(open(other, name, MQOO_OUTPUT, out).rc, MQRC_NONE);
  ASSERT_EQ(put(other, out, "x").rc, MQRC_NONE);
  Result r;
  api_->MQCLOSE(other, &out, MQCO_NONE, &r.cc, &r.rc);
  // The creator's connection ends: its temporary queue is gone for everyone.
  disconnect(h);
  EXPECT_EQ(open(other, name, MQOO_OUTPUT, out).rc, MQRC_UNKNOWN_OBJECT_NAME);

  ASSERT_EQ(open(other, "SYSTEM.DEFAULT.MODEL.QUEUE", MQOO_INPUT_SHARED, in, &od).rc, MQRC_NONE);
  name = fieldText(od.ObjectName);
  api_->MQCLOSE(other, &in, MQCO_NONE, &r.cc, &r.rc);
  ASSERT_EQ(r.rc, MQRC_NONE);
  EXPECT_EQ(open(other, name, MQOO_OUTPUT, out).rc, MQRC_UNKNOWN_OBJECT_NAME);
}

TEST_P(MqiTest, WaitingGetReceivesAMessagePutLaterAndTimesOutWith2033) {
  MQHCONN h = connectOk();
  MQHCONN putter = connectOk();
  MQOD od;
  MQHOBJ in, out;
  ASSERT_EQ(open(h, "SYSTEM.DEFAULT.MODEL.QUEUE", MQOO_INPUT_EXCLUSIVE, in, &od).rc, MQRC_NONE);
  ASSERT_EQ(open(putter, fieldText(od.ObjectName), MQOO_OUTPUT, out).rc, MQRC_NONE);
  std::string data;
  EXPECT_EQ(get(h, in, data, nullptr, 50).rc, MQRC_NO_MSG_AVAILABLE);
  std::thread later([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    put(putter, out, "late arrival");
  });
  Result r = get(h, in, data, nullptr, MQWI_UNLIMITED);
  later.join();
  EXPECT_EQ(r.rc, MQRC_NONE);
  EXPECT_EQ(data, "late arrival");
}

TEST_P(MqiTest, ShortBufferGives2080WithLengthOrTruncatesWhenAccepted) {
  MQHCONN h = connectOk();
  MQHOBJ q;
  ASSERT_EQ(open(h, "SYSTEM.DEFAULT.LOCAL.QUEUE", MQOO_INPUT_SHARED | MQOO_OUTPUT, q).rc, MQRC_NONE);
  ASSERT_EQ(put(h, q, "0123456789").rc, MQRC_NONE);
  std::string data;
  MQLONG length = 0;
  Result r = get(h, q, data, nullptr, 0, 4, 0, &length);
  EXPECT_EQ(r.cc, MQCC_FAILED);
  EXPECT_EQ(r.rc, MQRC_TRUNCATED_MSG_FAILED);
  EXPECT_EQ(length, 10);
  r = get(h, q, data, nullptr, 0, 4, MQGMO_ACCEPT_TRUNCATED_MSG, &length);
  EXPECT_EQ(r.cc, MQCC_WARNING);
  EXPECT_EQ(r.rc, MQRC_TRUNCATED_MSG_ACCEPTED);
  EXPECT_EQ(data, "0123");
  EXPECT_EQ(get(h, q, data).rc, MQRC_NO_MSG_AVAILABLE) << "the truncated message was removed";
  // Draining with a zero-length buffer, as a queue is emptied.
  put(h, q, "a");
  put(h, q, "b");
  int drained = 0;
  while (get(h, q, data, nullptr, 0, 0, MQGMO_ACCEPT_TRUNCATED_MSG).cc != MQCC_FAILED) ++drained;
  EXPECT_EQ(drained, 2);
}

TEST_P(MqiTest, PriorityOrderThenArrivalOrder) {
  MQHCONN h = connectOk();
  MQHOBJ q;
  ASSERT_EQ(open(h, "SYSTEM.DEFAULT.LOCAL.QUEUE", MQOO_INPUT_AS_Q_DEF | MQOO_OUTPUT, q).rc, MQRC_NONE);
  int priorities[] = {1, 5, 1, 9, 5};
  for (int i = 0; i < 5; ++i) {
    MQMD md = kvarn::mqi::defaultMD();
    md.Priority = priorities[i];
    ASSERT_EQ(put(h, q, std::to_string(i), &md).rc, MQRC_NONE);
  }
  std::string order, data;
  while (get(h, q, data).rc == MQRC_NONE) order += data;
  EXPECT_EQ(order, "31402");
}

TEST_P(MqiTest, ExclusiveInputAndInhibitedPutsAreRefused) {
  MQHCONN h = connectOk();
  MQHCONN other = connectOk();
  MQHOBJ first, second;
  ASSERT_EQ(open(h, "SYSTEM.DEFAULT.LOCAL.QUEUE", MQOO_INPUT_EXCLUSIVE | MQOO_SET, first).rc, MQRC_NONE);
  EXPECT_EQ(open(other, "SYSTEM.DEFAULT.LOCAL.QUEUE", MQOO_INPUT_SHARED, second).rc, MQRC_OBJECT_IN_USE);
  MQLONG selector = MQIA_INHIBIT_PUT, value = MQQA_PUT_INHIBITED;
  Result r;
  api_->MQSET(h, first, 1, &selector, 1, &value, 0, nullptr, &r.cc, &r.rc);
  ASSERT_EQ(r.rc, MQRC_NONE);
  MQHOBJ out;
  ASSERT_EQ(open(other, "SYSTEM.DEFAULT.LOCAL.QUEUE", MQOO_OUTPUT, out).rc, MQRC_NONE);
  EXPECT_EQ(put(other, out, "x").rc, MQRC_PUT_INHIBITED);
  value = MQQA_PUT_ALLOWED;
  api_->MQSET(h, first, 1, &selector, 1, &value, 0, nullptr, &r.cc, &r.rc);
  EXPECT_EQ(put(other, out, "x").rc, MQRC_NONE);
}

TEST_P(MqiTest, Put1AndSyncpointCommitAndBackout) {
  MQHCONN h = connectOk();
  MQOD od = kvarn::mqi::defaultOD();
  setField(od.ObjectName, "SYSTEM.DEFAULT.LOCAL.QUEUE");
  MQMD md = kvarn::mqi::defaultMD();
  MQPMO pmo = kvarn::mqi::defaultPMO();
  pmo.Options = MQPMO_SYNCPOINT;
  Result r;
  char text[] = "in a unit of work";
  api_->MQPUT1(h, &od, &md, &pmo, 17, text, &r.cc, &r.rc);
  ASSERT_EQ(r.rc, MQRC_NONE);
  MQHOBJ q;
  ASSERT_EQ(open(h, "SYSTEM.DEFAULT.LOCAL.QUEUE", MQOO_INPUT_SHARED, q).rc, MQRC_NONE);
  std::string data;
  EXPECT_EQ(get(h, q, data).rc, MQRC_NO_MSG_AVAILABLE) << "uncommitted puts are invisible";
  api_->MQBACK(h, &r.cc, &r.rc);
  EXPECT_EQ(r.rc, MQRC_NONE);
  api_->MQPUT1(h, &od, &md, &pmo, 17, text, &r.cc, &r.rc);
  api_->MQCMIT(h, &r.cc, &r.rc);
  EXPECT_EQ(r.rc, MQRC_NONE);
  ASSERT_EQ(get(h, q, data).rc, MQRC_NONE);
  EXPECT_EQ(data, text);
  EXPECT_EQ(get(h, q, data).rc, MQRC_NO_MSG_AVAILABLE) << "the backed-out put never arrived";
}

INSTANTIATE_TEST_SUITE_P(Bindings, MqiTest, ::testing::Values(Binding::Server, Binding::Client),
                         [](const auto& info) { return info.param == Binding::Server ? "Server" : "Client"; });

}  // namespace
