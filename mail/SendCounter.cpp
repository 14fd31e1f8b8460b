#include "SendCounter.h"

#include <cstdlib>
#include <thread>

#include "TcpConnection.h"

namespace murmel {

bool RequestSendCounterNow(const std::string& url) {
    const std::string scheme = "http://";
    if (url.compare(0, scheme.size(), scheme) != 0) return false;
    std::string rest = url.substr(scheme.size());
    size_t slash = rest.find('/');
    std::string authority = rest.substr(0, slash);
    std::string path = slash == std::string::npos ? "/" : rest.substr(slash);
    if (authority.empty() || path.find_first_of("\r\n ") != std::string::npos) return false;
    std::string host = authority;
    int port = 80;
    if (size_t colon = authority.rfind(':'); colon != std::string::npos) {
        host = authority.substr(0, colon);
        port = std::atoi(authority.c_str() + colon + 1);
        if (port < 1 || port > 65535) return false;
    }
    try {
        TcpConnection connection;
        connection.Connect(host, static_cast<uint16_t>(port));
        std::string request = "GET " + path + " HTTP/1.0\r\nHost: " + authority +
                              "\r\nUser-Agent: Murmel\r\nConnection: close\r\n\r\n";
        connection.SendAll(request.data(), request.size());
        connection.Close();
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

void RequestSendCounter() {
    const char* url = std::getenv("MURMEL_COUNTER_URL");
    if (!url || !*url) return;
    std::thread([address = std::string(url)] { RequestSendCounterNow(address); }).detach();
}

}  // namespace murmel
