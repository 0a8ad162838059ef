#include "engine/error_log.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <sstream>

namespace qmsim {

namespace {

struct CatalogueEntry {
  const char* id;
  const char* message;
  const char* explanation;
  const char* action;
};

constexpr const char* kChlauthAction =
    "Contact the systems administrator, who should examine the channel authentication records to ensure that the "
    "correct settings have been configured. The ALTER QMGR CHLAUTH switch is used to control whether channel "
    "authentication records are used. The command DISPLAY CHLAUTH can be used to query the channel authentication "
    "records.";

constexpr const char* kConnAuthAction =
    "Refer to the previous error for more information. Ensure that a password is specified by the client "
    "application and that the password is correct for the user ID. The authentication configuration of the queue "
    "manager connection determines the user ID repository. For example, the local operating system user database "
    "or an LDAP server. To avoid the authentication check, you can amend the authentication configuration of the "
    "queue manager connection, but you should generally not allow unauthenticated remote access.";

constexpr const char* kConnAuthExplanation =
    "The user ID '<insert_3>' and its password were checked because the queue manager connection authority "
    "(CONNAUTH) configuration refers to an authentication information (AUTHINFO) object named '<insert_4>' with "
    "<insert_5>. This message accompanies a previous error to clarify the reason for the user ID and password "
    "check.";

// IBM's messages, with <insert_n> where the entry's inserts go.
constexpr CatalogueEntry kCatalogue[] = {
    {"AMQ5534E", "User ID '<insert_3>' authentication failed",
     "The user ID and password supplied by '<insert_4>' could not be authenticated.",
     "Ensure that the correct user ID and password are provided by the application. Ensure that the "
     "authentication repository is correctly configured. Look at previous error messages for any additional "
     "information."},
    {"AMQ5540E", "Application '<insert_3>' did not supply a user ID and password",
     "The queue manager is configured to require a user ID and password, but none was supplied.",
     "Ensure that the application provides a valid user ID and password, or change the queue manager "
     "configuration to OPTIONAL to allow applications to connect which have not supplied a user ID and password."},
    {"AMQ5541E", "The failed authentication check was caused by the queue manager CONNAUTH <insert_5> configuration.",
     kConnAuthExplanation, kConnAuthAction},
    {"AMQ5542I", "The failed authentication check was caused by the queue manager CONNAUTH <insert_5> configuration.",
     kConnAuthExplanation, kConnAuthAction},
    {"AMQ8077W", "Entity '<insert_3>' has insufficient authority to access object <insert_4>.",
     "The specified entity is not authorized to access the required object. The following permissions were "
     "requested: <insert_5>",
     "Ensure that the correct level of authority has been set for this entity against the required object, or "
     "ensure that the entity is a member of a privileged group."},
    {"AMQ9557E", "Queue Manager User ID initialization failed for '<insert_3>'.",
     "The call to initialize the User ID '<insert_3>' failed with CompCode <insert_1> and Reason <insert_2>. If an "
     "MQCSP block was used, the User ID in the MQCSP block was '<insert_4>'. If a userID flow was used, the User ID "
     "in the UID header was '<insert_5>' and any CHLAUTH rules applied prior to user adoption were evaluated "
     "case-sensitively against this value.",
     "Correct the error and try again."},
    {"AMQ9776E", "Channel was blocked by userid",
     "The inbound channel '<insert_3>' was blocked from address '<insert_5>' because the active values of the "
     "channel were mapped to a userid which should be blocked. The active values of the channel were "
     "'<insert_4>'.",
     kChlauthAction},
    {"AMQ9777E", "Channel was blocked",
     "The inbound channel '<insert_3>' was blocked from address '<insert_5>' because the active values of the "
     "channel matched a record configured with USERSRC(NOACCESS). The active values of the channel were "
     "'<insert_4>'.",
     kChlauthAction},
    {"AMQ9791E", "The client application did not supply a user ID and password.",
     "The inbound channel '<insert_3>' from address '<insert_5>' matched a channel authentication record with "
     "<insert_4>, which requires a user ID and password, but the client application supplied none.",
     "Ensure that the application provides a valid user ID and password, or change the channel authentication "
     "record."},
};

const CatalogueEntry* find(const std::string& id) {
  for (const auto& e : kCatalogue)
    if (id == e.id) return &e;
  return nullptr;
}

std::string substitute(const char* text, const LogInserts& in) {
  std::string out = text;
  for (int n = 1; n <= 5; ++n) {
    std::string tag = "<insert_" + std::to_string(n) + ">";
    std::string value;
    if (n <= 2 && static_cast<size_t>(n) <= in.numbers.size()) value = std::to_string(in.numbers[n - 1]);
    if (n >= 3 && static_cast<size_t>(n - 2) <= in.texts.size()) value = in.texts[n - 3];
    for (size_t at = out.find(tag); at != std::string::npos; at = out.find(tag, at + value.size()))
      out.replace(at, tag.size(), value);
  }
  return out;
}

// Wraps text at word boundaries to lines of at most width characters, as IBM's logs are.
std::string wrap(const std::string& text, size_t width = 79) {
  std::istringstream words(text);
  std::string out, line;
  for (std::string w; words >> w;) {
    if (!line.empty() && line.size() + 1 + w.size() > width) {
      out += line + "\n";
      line.clear();
    }
    line += (line.empty() ? "" : " ") + w;
  }
  return out + line + "\n";
}

std::string processUser() {
  struct passwd pw {};
  struct passwd* found = nullptr;
  char buf[4096];
  if (getpwuid_r(::geteuid(), &pw, buf, sizeof buf, &found) == 0 && found) return found->pw_name;
  return std::to_string(::geteuid());
}

std::string hostName() {
  char host[256] = {};
  if (::gethostname(host, sizeof host - 1) != 0) return "localhost";
  return host;
}

std::string header(const std::string& qmgr, const LogInserts& in) {
  auto now = std::chrono::system_clock::now();
  std::time_t t = std::chrono::system_clock::to_time_t(now);
  std::tm local{}, utc{};
  localtime_r(&t, &local);
  gmtime_r(&t, &utc);
  auto millis = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
  char when[64], iso[64];
  std::strftime(when, sizeof when, "%m/%d/%y %H:%M:%S", &local);
  std::strftime(iso, sizeof iso, "%Y-%m-%dT%H:%M:%S", &utc);
  const std::string indent(20, ' ');
  std::string h = std::string(when) + " - Process(" + std::to_string(::getpid()) + ".1) User(" + processUser() +
                  ") Program(qmsim)\n" + indent + "Host(" + hostName() + ") Installation(Installation1)\n" + indent +
                  "VRMF(9.4.0.0) QMgr(" + qmgr + ")\n" + indent + "Time(" + iso + "." +
                  (millis < 100 ? (millis < 10 ? "00" : "0") : "") + std::to_string(millis) + "Z)\n";
  if (!in.numbers.empty()) {
    h += indent;
    for (size_t i = 0; i < in.numbers.size() && i < 2; ++i)
      h += (i ? " " : "") + std::string("ArithInsert") + std::to_string(i + 1) + "(" + std::to_string(in.numbers[i]) +
           ")";
    h += "\n";
  }
  for (size_t i = 0; i < in.texts.size() && i < 3; ++i)
    h += indent + "CommentInsert" + std::to_string(i + 1) + "(" + in.texts[i] + ")\n";
  return h + std::string(19, ' ') + "\n";
}

bool writeAll(int fd, const std::string& data) {
  size_t done = 0;
  while (done < data.size()) {
    ssize_t n = ::write(fd, data.data() + done, data.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

}  // namespace

std::string logMessageText(const std::string& id, const LogInserts& inserts) {
  const CatalogueEntry* e = find(id);
  return e ? substitute(e->message, inserts) : "";
}

ErrorLog::ErrorLog(std::filesystem::path dir, std::string qmgrName)
    : dir_(std::move(dir)), qmgrName_(std::move(qmgrName)) {}

void ErrorLog::write(const std::string& id, const LogInserts& inserts) {
  const CatalogueEntry* e = find(id);
  if (!e) return;
  std::string line = id + ": " + substitute(e->message, inserts);
  std::string footer = "----- qmsim : " + id + " ";
  footer.resize(79, '-');
  std::string entry = header(qmgrName_, inserts) + wrap(line) + "\nEXPLANATION:\n" +
                      wrap(substitute(e->explanation, inserts)) + "ACTION:\n" + wrap(substitute(e->action, inserts)) +
                      footer + "\n";
  std::lock_guard lk(mu_);
  recent_.push_back(line);
  if (recent_.size() > kRecentKept) recent_.pop_front();
  if (!dir_.empty()) append(entry);
}

std::vector<std::string> ErrorLog::recent() const {
  std::lock_guard lk(mu_);
  return {recent_.begin(), recent_.end()};
}

// The log is a record for the administrator: when it cannot be written the queue
// manager carries on, as IBM's does.
void ErrorLog::append(const std::string& entry) {
  std::filesystem::path errors = dir_ / "errors";
  std::error_code ec;
  std::filesystem::create_directories(errors, ec);
  std::filesystem::path first = errors / "AMQERR01.LOG";
  struct stat st {};
  if (::stat(first.c_str(), &st) == 0 && static_cast<size_t>(st.st_size) + entry.size() > kFileLimit) {
    std::filesystem::rename(errors / "AMQERR02.LOG", errors / "AMQERR03.LOG", ec);
    std::filesystem::rename(first, errors / "AMQERR02.LOG", ec);
  }
  int fd = ::open(first.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  if (fd < 0) return;
  struct stat before {};
  bool sized = ::fstat(fd, &before) == 0;
  // A short append (a full disk) is cut off again, so the next entry starts clean.
  if (!writeAll(fd, entry) && sized) (void)::ftruncate(fd, before.st_size);
  ::close(fd);
}

}  // namespace qmsim
