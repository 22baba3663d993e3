#include "proxy/proxy_state.h"

// Zero-initialised by the loader; no constructor runs.
ProxyState g_proxy;
