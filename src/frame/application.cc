#include "frame/application.h"

#include <cstdio>
#include <exception>

#include "common/accept_encoding.h"
#include "common/errors.h"
#include "frame/fastcgi_connections.h"
#include "frame/fastcgi_session.h"
#include "platform/console.h"
#include "platform/listener.h"
#include "platform/messages.h"

namespace frame {
namespace {

ModuleFactory g_module_class = nullptr;
RequestStart g_request_start = nullptr;
PersistentStart g_persistent_start = nullptr;
PersistentStart g_persistent_end = nullptr;
KeptFormsOf g_kept_forms = nullptr;

// The request's Accept-Encoding field, as the web server handed it.
struct AcceptEncoding {
  bool present = false;
  std::string value;
};

// The answer in the coding the request prefers among its body's kept
// forms, when there are any and the answer is a plain one.
void AnswerInKeptForm(TCGIResponse& response, const AcceptEncoding& accept) {
  using common::Coding;
  if (g_kept_forms == nullptr || !accept.present || response.status_code != 200 ||
      !response.content_encoding.empty()) {
    return;
  }
  // Only a client that would take a coding asks for the forms to be made.
  if (common::ChooseCoding(accept.value, true, true, common::CanCompress(Coding::kBrotli)) ==
      Coding::kIdentity) {
    return;
  }
  common::CompressedForms forms = g_kept_forms(response.Content());
  Coding coding =
      common::ChooseCoding(accept.value, true, forms.gzip != nullptr, forms.brotli != nullptr);
  if (coding == Coding::kIdentity) return;
  response.content_encoding = common::CodingName(coding);
  response.custom_headers.emplace_back("Vary: Accept-Encoding\r\n");
  response.SetKeptContent(coding == Coding::kGzip ? *forms.gzip : *forms.brotli);
}

void HandleRequest(TCGIRequest& request, TCGIResponse& response,
                   const AcceptEncoding* accept = nullptr) {
  if (g_module_class == nullptr) throw common::Exception("No data modules registered");
  std::unique_ptr<TWebModule> module = g_module_class();
  if (!module || !module->IsDispatcher()) {
    throw common::Exception("No dispatcher component found on data module");
  }
  bool handled = module->DispatchRequest(request, response);
  if (handled && !response.Sent() && accept != nullptr) AnswerInKeptForm(response, *accept);
  if (handled && !response.Sent()) {
    if (!response.SendResponse()) throw common::InOutError(0, "Error writing to standard output");
  }
}

// One request, whatever carried it: the start-up steps, the request as
// `make_request` makes it, its dispatch and response, or the status-500 page
// for whatever escapes them. Returns the exit code of a CGI run.
template <typename MakeRequest>
int RunRequest(MakeRequest make_request, ResponseOutput& output,
               const AcceptEncoding* accept = nullptr) {
  std::string failure_class, failure_message;
  try {
    if (g_request_start != nullptr) g_request_start();
    TCGIRequest request = make_request();
    TCGIResponse response(request, output);
    HandleRequest(request, response, accept);
    return 0;
  } catch (const std::exception& e) {
    failure_class = common::ExceptionClassName(e);
    failure_message = e.what();
  } catch (...) {
    failure_class = "Exception";
    failure_message = "Unknown exception";
  }
  return output.Write(ErrorResponse(failure_class, failure_message), {}) ? 0 : 1;
}

int RunCgi() {
  if (!platform::SetBinaryStdio()) {
    std::fputs("enPanel: cannot open standard input and output\n", stderr);
    return 1;
  }
  StandardOutput output;
  return RunRequest([] { return TCGIRequest(); }, output);
}

// A FastCGI request's standard output.
class AnswerOutput final : public ResponseOutput {
 public:
  explicit AnswerOutput(fastcgi::Answer& answer) : answer_(answer) {}
  bool Write(std::string_view first, std::string_view second, bool second_stays) override {
    return answer_.Output(first, second, second_stays);
  }

 private:
  fastcgi::Answer& answer_;
};

// While a FastCGI request runs, what the program tells the operator goes
// back with its answer, to the web server's error log.
class OperatorLinesToAnswer {
 public:
  explicit OperatorLinesToAnswer(fastcgi::Answer& answer) {
    platform::SetOperatorMessageSink(
        [&answer](const std::string& text) { answer.Error(platform::OperatorLine(text)); });
  }
  OperatorLinesToAnswer(const OperatorLinesToAnswer&) = delete;
  OperatorLinesToAnswer& operator=(const OperatorLinesToAnswer&) = delete;
  ~OperatorLinesToAnswer() { platform::SetOperatorMessageSink(nullptr); }
};

void ServeFastCgiRequest(const fastcgi::Pairs& params, std::string_view input,
                         fastcgi::Answer& answer) {
  OperatorLinesToAnswer lines(answer);
  AnswerOutput output(answer);
  ParameterVariables variables(params);
  AcceptEncoding accept;
  for (const auto& [name, value] : params) {
    if (name == common::kAcceptEncodingVariable) {
      accept = AcceptEncoding{true, value};
      break;
    }
  }
  RunRequest([&] { return TCGIRequest(variables, input); }, output, &accept);
}

int RunPersistent() {
  platform::PrepareListener();
  if (g_persistent_start != nullptr) g_persistent_start();
  const fastcgi::Serve serve = &ServeFastCgiRequest;
  std::string error;
  if (platform::ListenerTakesManyConnections()) {
    fastcgi::ServeConnections(serve, error);
  } else {
    platform::Connection connection;
    while (!platform::ShutdownRequested() && platform::AcceptConnection(connection, error)) {
      fastcgi::ConnectionStream stream(connection);
      // However the connection ended, the next one is served as the first was.
      fastcgi::ServeConnection(stream, serve);
      connection.Close();
    }
  }
  if (g_persistent_end != nullptr) g_persistent_end();
  if (!error.empty()) {
    platform::OperatorMessage("No more requests can be taken from the web server: " + error);
    return 1;
  }
  return 0;
}

}  // namespace

void RegisterModuleClass(ModuleFactory factory) { g_module_class = factory; }
void SetRequestStart(RequestStart start) { g_request_start = start; }
void SetPersistentStart(PersistentStart start) { g_persistent_start = start; }
void SetPersistentEnd(PersistentStart end) { g_persistent_end = end; }
void SetKeptForms(KeptFormsOf forms) { g_kept_forms = forms; }

int RunApplication() { return platform::StandardInputIsListener() ? RunPersistent() : RunCgi(); }

}  // namespace frame
