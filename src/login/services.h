// What the roads and the login work with, handed down by the composition
// root so that tests can give them in-process stand-ins.
#pragma once

#include "api/api_client.h"
#include "login/session_store.h"
#include "ui/ui.h"
#include "ui/wait.h"

namespace veilmark {

struct Services {
  Ui& ui;
  ApiClient& api;
  SessionStore& sessions;
  // Where every service call of the roads waits.
  Waiter& waiter;
};

}  // namespace veilmark
