#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>

#include "engine/session.h"
#include "lib/backend.h"

namespace qmsim {

namespace {

class LocalBackend final : public Backend {
 public:
  explicit LocalBackend(std::unique_ptr<Session> session) : session_(std::move(session)) {}
  Outcome open(MQOD& od, MQLONG options, MQHOBJ& hobj) override { return session_->open(od, options, hobj); }
  Outcome close(MQHOBJ& hobj, MQLONG options) override { return session_->close(hobj, options); }
  Outcome put(MQHOBJ hobj, MQMD& md, MQPMO& pmo, std::string_view data) override {
    return session_->put(hobj, md, pmo, data);
  }
  Outcome put1(MQOD& od, MQMD& md, MQPMO& pmo, std::string_view data) override {
    return session_->put1(od, md, pmo, data);
  }
  Outcome get(MQHOBJ hobj, MQMD& md, MQGMO& gmo, MQLONG bufferLength, char* buffer, MQLONG& dataLength) override {
    return session_->get(hobj, md, gmo, bufferLength, buffer, dataLength);
  }
  Outcome inquire(MQHOBJ hobj, std::span<const MQLONG> selectors, std::span<MQLONG> intAttrs,
                  std::span<char> charAttrs) override {
    return session_->inquire(hobj, selectors, intAttrs, charAttrs);
  }
  Outcome set(MQHOBJ hobj, std::span<const MQLONG> selectors, std::span<const MQLONG> intAttrs,
              std::span<const char> charAttrs) override {
    return session_->set(hobj, selectors, intAttrs, charAttrs);
  }
  Outcome commit() override { return session_->commit(); }
  Outcome backout() override { return session_->backout(); }
  Outcome disconnect() override {
    session_->disconnect();
    return {};
  }

 private:
  std::unique_ptr<Session> session_;
};

}  // namespace

std::unique_ptr<Backend> makeLocalBackend(std::unique_ptr<Session> session) {
  return std::make_unique<LocalBackend>(std::move(session));
}

std::string currentApplName() {
  std::ifstream comm("/proc/self/comm");
  std::string name;
  std::getline(comm, name);
  return name.empty() ? "qmsim" : name;
}

std::string currentUserId() {
  if (const char* user = std::getenv("USER"); user && *user) return user;
  if (const passwd* pw = ::getpwuid(::getuid())) return pw->pw_name;
  return "unknown";
}

}  // namespace qmsim
