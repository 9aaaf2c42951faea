// libFuzzer target for kemro-serve's query strings: the first byte picks the
// endpoint, the rest is the query. The parser's promises are checked on its
// parameters, and the whole answer is formed with a budget that is already
// spent, so that every parameter is parsed, checked and refused or accepted
// without computing: the status must be one of the API's and an error must
// be a JSON error object.
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "tools/common/csv_table.hpp"
#include "tools/serve/api.hpp"
#include "tools/serve/query.hpp"

namespace {

using namespace kemro::serve;

void require(bool condition) {
  if (!condition) std::abort();
}

constexpr Endpoint ENDPOINTS[] = {Endpoint::summary, Endpoint::distribution, Endpoint::solve,
                                  Endpoint::plot, Endpoint::observed};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const Endpoint endpoint = ENDPOINTS[data[0] % std::size(ENDPOINTS)];
  const std::string_view query(reinterpret_cast<const char*>(data) + 1, size - 1);

  const Query q = parse_query(query);
  require(q.ok() || q.parameters.empty());
  require(q.parameters.size() <= MAX_QUERY_PARAMETERS);
  for (const QueryParameter& p : q.parameters) {
    require(!p.name.empty());
    require(kemro::cli::is_utf8(p.name) && kemro::cli::is_utf8(p.value));
    for (unsigned char c : p.name + p.value) require(c >= 0x20 && c != 0x7f);
  }

  WorkShelf shelf;
  const Reply reply = answer(endpoint, query, {}, Budget(std::chrono::seconds(0)), shelf);
  require(reply.status == HTTP_OK || reply.status == HTTP_BAD_REQUEST ||
          reply.status == HTTP_UNAVAILABLE);
  if (reply.status != HTTP_OK) require(reply.body.starts_with("{\"error\": \""));
  return 0;
}
