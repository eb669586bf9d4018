#include "engines/page_engine.h"

#include "engines/scripted_engine.h"

namespace cefcompat {

std::unique_ptr<IPageEngine> CreatePageEngine(IPageSite& site) {
  return std::make_unique<CScriptedEngine>(site);
}

}  // namespace cefcompat
