#include "cmdserver/model.h"

#include <cstdlib>
#include <sstream>

#include "cmdserver/mqsc_parser.h"

namespace qmsim::cmdserver {

namespace {

// A row written compactly: "s48" string of up to 48 characters, "n0:9" integer range
// (then "|WORD" for keywords it also accepts), "e A B C" enumeration, "f NOWORD" a
// bare keyword pair, "l" list of strings, "r" shown but never set.
AttrDef row(const char* keyword, const char* form, const char* dflt = "", const char* classes = "") {
  AttrDef a;
  a.keyword = keyword;
  a.defaultValue = dflt;
  a.classes = classes;
  std::string s = form;
  switch (s[0]) {
  case 's':
    a.kind = ValueKind::String;
    a.maxLength = std::strtoul(s.c_str() + 1, nullptr, 10);
    break;
  case 'n': {
    a.kind = ValueKind::Integer;
    std::string range = s.substr(1);
    size_t bar = range.find('|');
    std::string words = bar == std::string::npos ? "" : range.substr(bar + 1);
    range = range.substr(0, bar);
    size_t colon = range.find(':');
    a.min = std::strtol(range.c_str(), nullptr, 10);
    a.max = std::strtol(range.c_str() + colon + 1, nullptr, 10);
    std::istringstream ws(words);
    for (std::string w; std::getline(ws, w, '|');) a.words.push_back(w);
    break;
  }
  case 'e':
  case 'f': {
    a.kind = s[0] == 'e' ? ValueKind::Enum : ValueKind::Flag;
    std::istringstream ws(s.substr(1));
    for (std::string w; ws >> w;) a.words.push_back(w);
    break;
  }
  case 'l':
    a.kind = ValueKind::List;
    a.maxLength = 999;
    break;
  default: a.kind = ValueKind::ReadOnly;
  }
  return a;
}

const char* kEvent = "e DISABLED ENABLED";

// Queues: l QLOCAL, m QMODEL, a QALIAS, r QREMOTE. IBM's display order.
const std::vector<AttrDef>& queueAttrs() {
  static const std::vector<AttrDef> t = {
      row("ACCTQ", "e QMGR ON OFF", "QMGR", "lm"),
      row("ALTDATE", "r"),
      row("ALTTIME", "r"),
      row("BOQNAME", "s48", "", "lm"),
      row("BOTHRESH", "n0:999999999", "0", "lm"),
      row("CAPEXPRY", "n-1:999999999|NOLIMIT", "NOLIMIT", ""),
      row("CLUSNL", "s48", "", "lar"),
      row("CLUSTER", "s48", "", "lar"),
      row("CLCHNAME", "s48", "", "lm"),
      row("CLWLPRTY", "n0:9", "0", "lar"),
      row("CLWLRANK", "n0:9", "0", "lar"),
      row("CLWLUSEQ", "e QMGR ANY LOCAL", "QMGR", "l"),
      row("CRDATE", "r", "", "l"),
      row("CRTIME", "r", "", "l"),
      row("CURDEPTH", "r", "", "l"),
      row("CUSTOM", "s128", "", ""),
      row("DEFBIND", "e OPEN NOTFIXED GROUP", "OPEN", "lar"),
      row("DEFPRTY", "n0:9", "0", ""),
      row("DEFPSIST", "e NO YES", "NO", ""),
      row("DEFPRESP", "e SYNC ASYNC", "SYNC", ""),
      row("DEFREADA", "e NO YES DISABLED", "NO", "lam"),
      row("DEFSOPT", "e SHARED EXCL", "SHARED", "lm"),
      row("DEFTYPE", "e PERMDYN TEMPDYN SHAREDYN", "TEMPDYN", "lm"),
      row("DESCR", "s64", "", ""),
      row("DISTL", "e NO YES", "NO", "lm"),
      row("GET", "e ENABLED DISABLED", "ENABLED", "lam"),
      row("HARDENBO", "f NOHARDENBO", "YES", "lm"),
      row("IMGRCOVQ", "e QMGR YES NO", "QMGR", "lm"),
      row("INITQ", "s48", "", "lm"),
      row("IPPROCS", "r", "", "l"),
      row("MAXDEPTH", "n0:999999999", "5000", "lm"),
      row("MAXMSGL", "n0:104857600", "4194304", "lm"),
      row("MAXFSIZE", "n20:267386880|DEFAULT", "DEFAULT", "lm"),
      row("MONQ", "e QMGR OFF LOW MEDIUM HIGH", "QMGR", "lm"),
      row("MSGDLVSQ", "e PRIORITY FIFO", "PRIORITY", "lm"),
      row("TRIGGER", "f NOTRIGGER", "NO", "lm"),
      row("NPMCLASS", "e NORMAL HIGH", "NORMAL", "lm"),
      row("OPPROCS", "r", "", "l"),
      row("PROCESS", "s48", "", "lm"),
      row("PROPCTL", "e COMPAT NONE ALL FORCE V6COMPAT", "COMPAT", "lam"),
      row("PUT", "e ENABLED DISABLED", "ENABLED", ""),
      row("QDEPTHHI", "n0:100", "80", "lm"),
      row("QDEPTHLO", "n0:100", "20", "lm"),
      row("QDPHIEV", kEvent, "DISABLED", "lm"),
      row("QDPLOEV", kEvent, "DISABLED", "lm"),
      row("QDPMAXEV", kEvent, "ENABLED", "lm"),
      row("QSVCIEV", "e NONE HIGH OK", "NONE", "lm"),
      row("QSVCINT", "n0:999999999", "999999999", "lm"),
      row("RETINTVL", "n0:999999999", "999999999", "lm"),
      row("RNAME", "s48", "", "r"),
      row("RQMNAME", "s48", "", "r"),
      row("SCOPE", "e QMGR CELL", "QMGR", "lar"),
      row("SHARE", "f NOSHARE", "YES", "lm"),
      row("STATQ", "e QMGR ON OFF", "QMGR", "lm"),
      row("STREAMQ", "s48", "", "lm"),
      row("STRMQOS", "e BESTEF MUSTDUP", "BESTEF", "lm"),
      row("TARGET", "s48", "", "a"),
      row("TARGTYPE", "e QUEUE TOPIC", "QUEUE", "a"),
      row("TRIGDATA", "s64", "", "lm"),
      row("TRIGDPTH", "n1:999999999", "1", "lm"),
      row("TRIGMPRI", "n0:9", "0", "lm"),
      row("TRIGTYPE", "e FIRST EVERY DEPTH NONE", "FIRST", "lm"),
      row("USAGE", "e NORMAL XMITQ", "NORMAL", "lm"),
      row("XMITQ", "s48", "", "r"),
  };
  return t;
}

// Channels: S SDR, V SVR, R RCVR, Q RQSTR, C CLNTCONN, N SVRCONN, D CLUSSDR, U CLUSRCVR.
const std::vector<AttrDef>& channelAttrs() {
  static const std::vector<AttrDef> t = {
      row("AFFINITY", "e PREFERRED NONE", "PREFERRED", "C"),
      row("ALTDATE", "r"),
      row("ALTTIME", "r"),
      row("BATCHHB", "n0:999999999", "0", "SVDU"),
      row("BATCHINT", "n0:999999999", "0", "SVDU"),
      row("BATCHLIM", "n0:999999", "5000", "SVDU"),
      row("BATCHSZ", "n1:9999", "50", "SVRQDU"),
      row("CERTLABL", "s64", "", ""),
      row("CLNTWGHT", "n0:99", "0", "C"),
      row("CLUSNL", "s48", "", "DU"),
      row("CLUSTER", "s48", "", "DU"),
      row("CLWLPRTY", "n0:9", "0", "DU"),
      row("CLWLRANK", "n0:9", "0", "DU"),
      row("CLWLWGHT", "n1:99", "50", "DU"),
      row("COMPHDR", "e NONE SYSTEM", "NONE", ""),
      row("COMPMSG", "e NONE RLE ZLIBFAST ZLIBHIGH ANY", "NONE", ""),
      row("CONNAME", "s264", "", "SVQCDU"),
      row("CONVERT", "e NO YES", "NO", "SVDU"),
      row("DEFCDISP", "e PRIVATE FIXSHARED SHARED", "PRIVATE", "SVRQN"),
      row("DEFRECON", "e NO YES QMGR DISABLED", "NO", "C"),
      row("DESCR", "s64", "", ""),
      row("DISCINT", "n0:999999", "6000", "SVNDU"),
      row("HBINT", "n0:999999", "300", ""),
      row("KAINT", "n0:99999|AUTO", "AUTO", ""),
      row("LOCLADDR", "s48", "", "SVQCDU"),
      row("LONGRTY", "n0:999999999", "999999999", "SVDU"),
      row("LONGTMR", "n0:999999999", "1200", "SVDU"),
      row("MAXINST", "n0:999999999", "999999999", "N"),
      row("MAXINSTC", "n0:999999999", "999999999", "N"),
      row("MAXMSGL", "n0:104857600", "4194304", ""),
      row("MCANAME", "s20", "", "SVQDU"),
      row("MCATYPE", "e PROCESS THREAD", "PROCESS", "SVQDU"),
      row("MCAUSER", "s64", "", "SVRQNDU"),
      row("MODENAME", "s8", "", ""),
      row("MONCHL", "e QMGR OFF LOW MEDIUM HIGH", "QMGR", "SVRQNDU"),
      row("MRDATA", "s32", "", "RQU"),
      row("MREXIT", "s128", "", "RQU"),
      row("MRRTY", "n0:999999999", "10", "RQU"),
      row("MRTMR", "n0:999999999", "1000", "RQU"),
      row("MSGDATA", "l", "", "SVRQDU"),
      row("MSGEXIT", "l", "", "SVRQDU"),
      row("NETPRTY", "n0:99", "0", "U"),
      row("NPMSPEED", "e FAST NORMAL", "FAST", "SVRQDU"),
      row("PASSWORD", "s12", "", "SVQCD"),
      row("PROPCTL", "e COMPAT NONE ALL", "COMPAT", "SVDU"),
      row("PUTAUT", "e DEF CTX ONLYMCA ALTMCA", "DEF", "RQU"),
      row("QMNAME", "s48", "", "C"),
      row("RCVDATA", "l", "", ""),
      row("RCVEXIT", "l", "", ""),
      row("SCYDATA", "s32", "", ""),
      row("SCYEXIT", "s128", "", ""),
      row("SENDDATA", "l", "", ""),
      row("SENDEXIT", "l", "", ""),
      row("SEQWRAP", "n100:999999999", "999999999", "SVRQDU"),
      row("SHARECNV", "n0:999999999", "10", "CN"),
      row("SHORTRTY", "n0:999999999", "10", "SVDU"),
      row("SHORTTMR", "n0:999999999", "60", "SVDU"),
      row("SSLCAUTH", "e REQUIRED OPTIONAL", "REQUIRED", "VRQNU"),
      row("SSLCIPH", "s32", "", ""),
      row("SSLPEER", "s1024", "", ""),
      row("STATCHL", "e QMGR OFF LOW MEDIUM HIGH", "QMGR", "SVRQDU"),
      row("TPNAME", "s64", "", ""),
      row("TRPTYPE", "e TCP LU62 NETBIOS SPX", "TCP", ""),
      row("USEDLQ", "e YES NO", "YES", "SVRQDU"),
      row("USERID", "s12", "", "SVQCD"),
      row("XMITQ", "s48", "", "SV"),
  };
  return t;
}

const std::vector<AttrDef>& processAttrs() {
  static const std::vector<AttrDef> t = {
      row("APPLICID", "s256", ""),
      row("APPLTYPE", "n0:65536|UNIX|WINDOWS|WINDOWSNT|CICS|IMS|MVS|OS400|NSK|DEF|DOS|OS2|USER", "UNIX"),
      row("DESCR", "s64", ""),
      row("ENVRDATA", "s128", ""),
      row("USERDATA", "s128", ""),
      row("ALTDATE", "r"),
      row("ALTTIME", "r"),
  };
  return t;
}

const std::vector<AttrDef>& namelistAttrs() {
  static const std::vector<AttrDef> t = {
      row("NAMCOUNT", "r"), row("NAMES", "l"), row("DESCR", "s64", ""), row("ALTDATE", "r"), row("ALTTIME", "r"),
  };
  return t;
}

// Authentication information: C CRLLDAP, O OCSP, I IDPWOS, P IDPWLDAP.
const std::vector<AttrDef>& authinfoAttrs() {
  static const std::vector<AttrDef> t = {
      row("AUTHTYPE", "e CRLLDAP OCSP IDPWOS IDPWLDAP", "CRLLDAP"),
      row("ADOPTCTX", "e NO YES", "NO", "IP"),
      row("DESCR", "s64", ""),
      row("CHCKCLNT", "e NONE OPTIONAL REQUIRED REQDADM", "NONE", "IP"),
      row("CHCKLOCL", "e NONE OPTIONAL REQUIRED REQDADM", "OPTIONAL", "IP"),
      row("CONNAME", "s264", "", "CP"),
      row("FAILDLAY", "n0:60", "1", "IP"),
      row("AUTHENMD", "e OS PAM", "OS", "I"),
      row("LDAPPWD", "s32", "", "CP"),
      row("LDAPUSER", "s1024", "", "CP"),
      row("OCSPURL", "s256", "", "O"),
      row("SECCOMM", "e NO YES ANON", "NO", "P"),
      row("USRFIELD", "s128", "", "P"),
      row("ALTDATE", "r"),
      row("ALTTIME", "r"),
  };
  return t;
}

const std::vector<AttrDef>& listenerAttrs() {
  static const std::vector<AttrDef> t = {
      row("TRPTYPE", "e TCP LU62 NETBIOS SPX", "TCP"),
      row("BACKLOG", "n0:999999999", "0"),
      row("CONTROL", "e MANUAL QMGR STARTONLY", "MANUAL"),
      row("DESCR", "s64", ""),
      row("IPADDR", "s48", ""),
      row("PORT", "n0:65535", "0"),
      row("ALTDATE", "r"),
      row("ALTTIME", "r"),
  };
  return t;
}

const std::vector<AttrDef>& serviceAttrs() {
  static const std::vector<AttrDef> t = {
      row("SERVTYPE", "e SERVER COMMAND", "SERVER"),
      row("STARTCMD", "s255", ""),
      row("STARTARG", "s255", ""),
      row("STOPCMD", "s255", ""),
      row("STOPARG", "s255", ""),
      row("STDOUT", "s255", ""),
      row("STDERR", "s255", ""),
      row("DESCR", "s64", ""),
      row("CONTROL", "e MANUAL QMGR STARTONLY", "MANUAL"),
      row("ALTDATE", "r"),
      row("ALTTIME", "r"),
  };
  return t;
}

const std::vector<AttrDef>& topicAttrs() {
  static const std::vector<AttrDef> t = {
      row("TOPICSTR", "s10240", ""),
      row("DESCR", "s64", ""),
      row("CLUSTER", "s48", ""),
      row("CLROUTE", "e DIRECT TOPICHOST", "DIRECT"),
      row("DURSUB", "e ASPARENT YES NO", "ASPARENT"),
      row("PUB", "e ASPARENT ENABLED DISABLED", "ASPARENT"),
      row("SUB", "e ASPARENT ENABLED DISABLED", "ASPARENT"),
      row("DEFPSIST", "e ASPARENT YES NO", "ASPARENT"),
      row("DEFPRTY", "n0:9|ASPARENT", "ASPARENT"),
      row("DEFPRESP", "e ASPARENT SYNC ASYNC", "ASPARENT"),
      row("ALTDATE", "r"),
      row("ALTTIME", "r"),
      row("PMSGDLV", "e ASPARENT ALL ALLDUR ALLAVAIL", "ASPARENT"),
      row("NPMSGDLV", "e ASPARENT ALL ALLDUR ALLAVAIL", "ASPARENT"),
      row("PUBSCOPE", "e ASPARENT QMGR ALL", "ASPARENT"),
      row("SUBSCOPE", "e ASPARENT QMGR ALL", "ASPARENT"),
      row("PROXYSUB", "e FIRSTUSE FORCE", "FIRSTUSE"),
      row("WILDCARD", "e PASSTHRU BLOCK", "PASSTHRU"),
      row("MDURMDL", "s48", ""),
      row("MNDURMDL", "s48", ""),
      row("MCAST", "e ASPARENT ENABLED DISABLED ONLY", "ASPARENT"),
      row("COMMINFO", "s48", ""),
      row("USEDLQ", "e ASPARENT NO YES", "ASPARENT"),
      row("CUSTOM", "s128", ""),
  };
  return t;
}

const std::vector<AttrDef>& subAttrs() {
  static const std::vector<AttrDef> t = {
      row("SUBID", "r"),
      row("TOPICSTR", "s10240", ""),
      row("TOPICOBJ", "s48", ""),
      row("DISTYPE", "r", "RESOLVED"),
      row("DEST", "s48", ""),
      row("DESTQMGR", "s48", ""),
      row("PUBAPPID", "s1024", ""),
      row("SELECTOR", "s10240", ""),
      row("SELTYPE", "r", "NONE"),
      row("USERDATA", "s10240", ""),
      row("PUBACCT", "r"),
      row("DESTCORL", "r"),
      row("DESTCLAS", "e PROVIDED MANAGED", "PROVIDED"),
      row("DURABLE", "r", "YES"),
      row("EXPIRY", "n0:999999999|UNLIMITED", "UNLIMITED"),
      row("PSPROP", "e NONE COMPAT RFH2 MSGPROP", "MSGPROP"),
      row("PUBPRTY", "n0:9|ASPUB|ASQDEF", "ASPUB"),
      row("REQONLY", "e NO YES", "NO"),
      row("SUBSCOPE", "e ALL QMGR", "ALL"),
      row("SUBLEVEL", "n1:9", "1"),
      row("SUBTYPE", "r", "ADMIN"),
      row("SUBUSER", "s12", ""),
      row("VARUSER", "e ANY FIXED", "ANY"),
      row("WSCHEMA", "e TOPIC CHAR", "TOPIC"),
      row("CRDATE", "r"),
      row("CRTIME", "r"),
      row("ALTDATE", "r"),
      row("ALTTIME", "r"),
  };
  return t;
}

const std::vector<AttrDef>& comminfoAttrs() {
  static const std::vector<AttrDef> t = {
      row("ALTDATE", "r"),
      row("ALTTIME", "r"),
      row("BRIDGE", "e ENABLED DISABLED", "ENABLED"),
      row("CCSID", "n0:65535", "0"),
      row("COMMEV", "e DISABLED ENABLED EXCEPTION", "DISABLED"),
      row("DESCR", "s64", ""),
      row("ENCODING", "e AS NORMAL REVERSED S390 TNS", "AS"),
      row("GRPADDR", "s264", "239.0.0.0"),
      row("MCHBINT", "n0:999999", "2000"),
      row("MCPROP", "e ALL REPLY USER NONE COMPAT", "REPLY"),
      row("MONINT", "n0:999999", "60"),
      row("MSGHIST", "n0:999999999", "100"),
      row("NSUBHIST", "e NONE ALL", "NONE"),
      row("PORT", "n1:65535", "1414"),
      row("TYPE", "r", "MULTICAST"),
  };
  return t;
}

const std::vector<AttrDef>& qmgrAttrs() {
  static const std::vector<AttrDef> t = {
      row("ACCTCONO", "e DISABLED ENABLED", "DISABLED"),
      row("ACCTINT", "n1:604800", "1800"),
      row("ACCTMQI", "e OFF ON", "OFF"),
      row("ACCTQ", "e OFF ON NONE", "OFF"),
      row("ACTIVREC", "e MSG QUEUE DISABLED", "MSG"),
      row("ACTVCONO", "e DISABLED ENABLED", "DISABLED"),
      row("ACTVTRC", "e OFF ON", "OFF"),
      row("ADVCAP", "r", "ENABLED"),
      row("ALTDATE", "r"),
      row("ALTTIME", "r"),
      row("AMQPCAP", "r", "NO"),
      row("AUTHOREV", kEvent, "DISABLED"),
      row("CCSID", "n1:65535", "1208"),
      row("CERTLABL", "s64", "ibmwebspheremq"),
      row("CERTVPOL", "e ANY RFC5280", "ANY"),
      row("CHAD", kEvent, "DISABLED"),
      row("CHADEV", kEvent, "DISABLED"),
      row("CHADEXIT", "s128", ""),
      row("CHLEV", "e DISABLED ENABLED EXCEPTION", "DISABLED"),
      row("CHLAUTH", kEvent, "ENABLED"),
      row("CLWLDATA", "s32", ""),
      row("CLWLEXIT", "s128", ""),
      row("CLWLLEN", "n0:999999999", "100"),
      row("CLWLMRUC", "n1:999999999", "999999999"),
      row("CLWLUSEQ", "e LOCAL ANY", "LOCAL"),
      row("CMDEV", "e DISABLED ENABLED NODISPLAY", "DISABLED"),
      row("CMDLEVEL", "r"),
      row("COMMANDQ", "r", "SYSTEM.ADMIN.COMMAND.QUEUE"),
      row("CONFIGEV", kEvent, "DISABLED"),
      row("CONNAUTH", "s48", "SYSTEM.DEFAULT.AUTHINFO.IDPWOS"),
      row("CRDATE", "r"),
      row("CRTIME", "r"),
      row("CUSTOM", "s128", ""),
      row("DEADQ", "s48", ""),
      row("DEFCLXQ", "e SCTQ CHANNEL", "SCTQ"),
      row("DEFXMITQ", "s48", ""),
      row("DESCR", "s64", ""),
      row("DISTL", "r", "YES"),
      row("IMGINTVL", "n1:999999999", "60"),
      row("IMGLOGLN", "n1:999999999|OFF", "OFF"),
      row("IMGRCOVO", "e YES NO", "YES"),
      row("IMGRCOVQ", "e YES NO", "YES"),
      row("IMGSCHED", "e MANUAL AUTO", "MANUAL"),
      row("INHIBTEV", kEvent, "DISABLED"),
      row("IPADDRV", "e IPV4 IPV6", "IPV4"),
      row("LOCALEV", kEvent, "DISABLED"),
      row("LOGGEREV", kEvent, "DISABLED"),
      row("MARKINT", "n0:999999999|NOLIMIT", "5000"),
      row("MAXHANDS", "n0:999999999", "256"),
      row("MAXMSGL", "n32768:104857600", "4194304"),
      row("MAXPROPL", "n0:104857600|NOLIMIT", "NOLIMIT"),
      row("MAXPRTY", "r", "9"),
      row("MAXUMSGS", "n1:999999999", "10000"),
      row("MONACLS", "e QMGR OFF LOW MEDIUM HIGH", "QMGR"),
      row("MONCHL", "e OFF NONE LOW MEDIUM HIGH", "OFF"),
      row("MONQ", "e OFF NONE LOW MEDIUM HIGH", "OFF"),
      row("PARENT", "s48", ""),
      row("PERFMEV", kEvent, "DISABLED"),
      row("PLATFORM", "r", "UNIX"),
      row("PSMODE", "e ENABLED COMPAT DISABLED", "ENABLED"),
      row("PSCLUS", kEvent, "ENABLED"),
      row("PSNPMSG", "e DISCARD KEEP", "DISCARD"),
      row("PSNPRES", "e NORMAL SAFE DISCARD", "NORMAL"),
      row("PSRTYCNT", "n0:999999999", "5"),
      row("PSSYNCPT", "e IFPER YES", "IFPER"),
      row("QMID", "r"),
      row("REPOS", "s48", ""),
      row("REPOSNL", "s48", ""),
      row("REVDNS", "e ENABLED DISABLED", "ENABLED"),
      row("ROUTEREC", "e MSG QUEUE DISABLED", "MSG"),
      row("SCHINIT", "e QMGR MANUAL", "QMGR"),
      row("SCMDSERV", "e QMGR MANUAL", "QMGR"),
      row("SPLCAP", "r", "ENABLED"),
      row("SSLCRLNL", "s48", ""),
      row("SSLCRYP", "s256", ""),
      row("SSLEV", kEvent, "DISABLED"),
      row("SSLFIPS", "e NO YES", "NO"),
      row("SSLKEYR", "s256", ""),
      row("SSLRKEYC", "n0:999999999", "0"),
      row("STATACLS", "e QMGR OFF ON", "QMGR"),
      row("STATCHL", "e OFF NONE LOW MEDIUM HIGH", "OFF"),
      row("STATINT", "n1:604800", "1800"),
      row("STATMQI", "e OFF ON", "OFF"),
      row("STATQ", "e OFF NONE ON", "OFF"),
      row("STRSTPEV", kEvent, "ENABLED"),
      row("SUITEB", "e NONE 128_BIT 192_BIT", "NONE"),
      row("SYNCPT", "r"),
      row("TREELIFE", "n0:604000", "1800"),
      row("TRIGINT", "n0:999999999", "999999999"),
      row("VERSION", "r"),
      row("XRCAP", "r", "NO"),
  };
  return t;
}

TypeDef makeType(std::string keyword, std::vector<std::string> syn, ObjectKind kind, std::string subtype,
                 std::string nameKw, std::string typeKw, std::string dflt, size_t maxName, std::string created,
                 std::string changed, std::string deleted, std::string display, const std::vector<AttrDef>& attrs) {
  TypeDef t;
  t.keyword = std::move(keyword);
  t.synonyms = std::move(syn);
  t.kind = kind;
  t.subtype = std::move(subtype);
  t.nameKeyword = std::move(nameKw);
  t.typeKeyword = std::move(typeKw);
  t.defaultObject = std::move(dflt);
  t.maxName = maxName;
  t.created = std::move(created);
  t.changed = std::move(changed);
  t.deleted = std::move(deleted);
  t.display = std::move(display);
  t.attrs = &attrs;
  return t;
}

}  // namespace

const std::vector<TypeDef>& objectTypes() {
  using K = ObjectKind;
  const std::string qc = "AMQ8006I: IBM MQ queue created.", qa = "AMQ8008I: IBM MQ queue changed.",
                    qd = "AMQ8007I: IBM MQ queue deleted.", qs = "AMQ8409I: Display Queue details.";
  static const std::vector<TypeDef> t = {
      makeType("QLOCAL", {"QL"}, K::Queue, "QLOCAL", "QUEUE", "TYPE", "SYSTEM.DEFAULT.LOCAL.QUEUE", 48, qc, qa, qd, qs,
               queueAttrs()),
      makeType("QMODEL", {"QM"}, K::Queue, "QMODEL", "QUEUE", "TYPE", "SYSTEM.DEFAULT.MODEL.QUEUE", 48, qc, qa, qd, qs,
               queueAttrs()),
      makeType("QALIAS", {"QA"}, K::Queue, "QALIAS", "QUEUE", "TYPE", "SYSTEM.DEFAULT.ALIAS.QUEUE", 48, qc, qa, qd, qs,
               queueAttrs()),
      makeType("QREMOTE", {"QR"}, K::Queue, "QREMOTE", "QUEUE", "TYPE", "SYSTEM.DEFAULT.REMOTE.QUEUE", 48, qc, qa, qd,
               qs, queueAttrs()),
      makeType("QUEUE", {"Q"}, K::Queue, "", "QUEUE", "TYPE", "", 48, "", "", "", qs, queueAttrs()),
      makeType("QCLUSTER", {"QC"}, K::Queue, "QCLUSTER", "QUEUE", "TYPE", "", 48, "", "", "", qs, queueAttrs()),
      makeType("CHANNEL", {"CHL"}, K::Channel, "", "CHANNEL", "CHLTYPE", "", 20, "AMQ8014I: IBM MQ channel created.",
               "AMQ8016I: IBM MQ channel changed.", "AMQ8015I: IBM MQ channel deleted.",
               "AMQ8414I: Display Channel details.", channelAttrs()),
      makeType("PROCESS", {"PRO", "PROC"}, K::Process, "", "PROCESS", "", "SYSTEM.DEFAULT.PROCESS", 48,
               "AMQ8010I: IBM MQ process created.", "AMQ8011I: IBM MQ process changed.",
               "AMQ8012I: IBM MQ process deleted.", "AMQ8407I: Display Process details.", processAttrs()),
      makeType("NAMELIST", {"NL"}, K::Namelist, "", "NAMELIST", "", "SYSTEM.DEFAULT.NAMELIST", 48,
               "AMQ8552I: IBM MQ namelist created.", "AMQ8551I: IBM MQ namelist changed.",
               "AMQ8553I: IBM MQ namelist deleted.", "AMQ8550I: Display namelist details.", namelistAttrs()),
      makeType("AUTHINFO", {}, K::AuthInfo, "", "AUTHINFO", "", "", 48,
               "AMQ8563I: IBM MQ authentication information object created.",
               "AMQ8567I: IBM MQ authentication information changed.",
               "AMQ8564I: IBM MQ authentication information object deleted.",
               "AMQ8566I: Display authentication information details.", authinfoAttrs()),
      makeType("LISTENER", {"LSTR"}, K::Listener, "", "LISTENER", "", "SYSTEM.DEFAULT.LISTENER.TCP", 48,
               "AMQ8626I: IBM MQ listener created.", "AMQ8627I: IBM MQ listener changed.",
               "AMQ8628I: IBM MQ listener deleted.", "AMQ8630I: Display listener information details.",
               listenerAttrs()),
      makeType("SERVICE", {}, K::Service, "", "SERVICE", "", "SYSTEM.DEFAULT.SERVICE", 32,
               "AMQ8621I: IBM MQ service created.", "AMQ8622I: IBM MQ service changed.",
               "AMQ8623I: IBM MQ service deleted.", "AMQ8629I: Display service information details.", serviceAttrs()),
      makeType("TOPIC", {}, K::Topic, "", "TOPIC", "TYPE", "SYSTEM.DEFAULT.TOPIC", 48,
               "AMQ8690I: IBM MQ topic created.", "AMQ8691I: IBM MQ topic changed.", "AMQ8692I: IBM MQ topic deleted.",
               "AMQ8633I: Display topic details.", topicAttrs()),
      makeType("SUB", {"SUBSCRIPTION"}, K::Subscription, "", "SUB", "", "", 10240,
               "AMQ8094I: IBM MQ subscription created.", "AMQ8095I: IBM MQ subscription changed.",
               "AMQ8097I: IBM MQ subscription deleted.", "AMQ8096I: IBM MQ subscription inquired.", subAttrs()),
      makeType("COMMINFO", {}, K::CommInfo, "", "COMMINFO", "", "SYSTEM.DEFAULT.COMMINFO.MULTICAST", 48,
               "AMQ8929I: IBM MQ communication information object created.",
               "AMQ8930I: IBM MQ communication information object changed.",
               "AMQ8931I: IBM MQ communication information object deleted.",
               "AMQ8932I: Display communication information details.", comminfoAttrs()),
  };
  return t;
}

const TypeDef& qmgrType() {
  static const TypeDef t = [] {
    TypeDef q =
        makeType("QMGR", {}, ObjectKind::QMgr, "", "QMNAME", "", "", 48, "", "AMQ8005I: IBM MQ queue manager changed.",
                 "", "AMQ8408I: Display Queue Manager details.", qmgrAttrs());
    q.displayAllByDefault = true;
    return q;
  }();
  return t;
}

const TypeDef* findType(const std::string& keyword) {
  for (const auto& t : objectTypes()) {
    if (t.keyword == keyword) return &t;
    for (const auto& s : t.synonyms)
      if (s == keyword) return &t;
  }
  return nullptr;
}

const TypeDef& queueTypeFor(const std::string& qtype) {
  const TypeDef* t = findType(qtype);
  return t && t->kind == ObjectKind::Queue ? *t : *findType("QLOCAL");
}

namespace {
constexpr std::pair<const char*, char> kChannelClasses[] = {
    {"SDR", 'S'},      {"SVR", 'V'},     {"RCVR", 'R'},    {"RQSTR", 'Q'},
    {"CLNTCONN", 'C'}, {"SVRCONN", 'N'}, {"CLUSSDR", 'D'}, {"CLUSRCVR", 'U'},
};
}  // namespace

char channelClass(const std::string& chltype) {
  for (auto [name, cls] : kChannelClasses)
    if (chltype == name) return cls;
  return 0;
}

std::string channelTypeFromClass(char cls) {
  for (auto [name, c] : kChannelClasses)
    if (c == cls) return name;
  return "";
}

char objectClass(const ObjectDef& def) {
  switch (def.kind) {
  case ObjectKind::Queue: {
    std::string t = def.queueType();
    return t == "QMODEL" ? 'm' : t == "QALIAS" ? 'a' : t == "QREMOTE" ? 'r' : 'l';
  }
  case ObjectKind::Channel: return channelClass(def.get("CHLTYPE"));
  case ObjectKind::AuthInfo: {
    std::string t = def.get("AUTHTYPE");
    return t == "OCSP" ? 'O' : t == "IDPWOS" ? 'I' : t == "IDPWLDAP" ? 'P' : 'C';
  }
  default: return '*';
  }
}

const AttrDef* findAttr(const TypeDef& type, const std::string& keyword) {
  for (const auto& a : *type.attrs)
    if (a.keyword == keyword) return &a;
  return nullptr;
}

const AttrDef* findAttrOrFlag(const TypeDef& type, const std::string& keyword, bool& negative) {
  negative = false;
  for (const auto& a : *type.attrs) {
    if (a.keyword == keyword) return &a;
    if (a.kind == ValueKind::Flag && !a.words.empty() && a.words[0] == keyword) {
      negative = true;
      return &a;
    }
  }
  return nullptr;
}

namespace {
bool parseLong(const std::string& s, long& v) {
  if (s.empty() || s.size() > 11) return false;
  size_t i = s[0] == '-' || s[0] == '+' ? 1 : 0;
  if (i == s.size()) return false;
  for (size_t k = i; k < s.size(); ++k)
    if (s[k] < '0' || s[k] > '9') return false;
  v = std::strtol(s.c_str(), nullptr, 10);
  return true;
}
}  // namespace

bool normaliseValue(const AttrDef& attr, const std::vector<std::string>& items, bool quoted, std::string& stored) {
  switch (attr.kind) {
  case ValueKind::List: {
    stored.clear();
    for (size_t i = 0; i < items.size(); ++i) {
      if (items[i].size() > attr.maxLength) return false;
      if (i) stored += ',';
      stored += items[i];
    }
    return true;
  }
  case ValueKind::String:
    if (items.size() > 1) return false;
    stored = items.empty() ? "" : items[0];
    while (!stored.empty() && stored.back() == ' ') stored.pop_back();  // MQ pads with blanks
    return stored.size() <= attr.maxLength;
  case ValueKind::Integer: {
    if (items.size() != 1) return false;
    for (const auto& w : attr.words)
      if (!quoted && items[0] == w) {
        stored = w;
        return true;
      }
    long v = 0;
    if (quoted || !parseLong(items[0], v) || v < attr.min || v > attr.max) return false;
    stored = std::to_string(v);
    return true;
  }
  case ValueKind::Enum:
    if (items.size() != 1 || quoted) return false;
    for (const auto& w : attr.words)
      if (items[0] == w) {
        stored = w;
        return true;
      }
    return false;
  default: return false;
  }
}

std::string formatAttr(const AttrDef& attr, const std::string& stored) {
  if (attr.kind == ValueKind::Flag) return stored == "NO" ? attr.words.at(0) : attr.keyword;
  if (attr.keyword == "SYNCPT") return "SYNCPT";
  if (attr.keyword == "PASSWORD" && !stored.empty()) return "PASSWORD(********)";
  return attr.keyword + "(" + (stored.empty() ? std::string(" ") : stored) + ")";
}

}  // namespace qmsim::cmdserver
