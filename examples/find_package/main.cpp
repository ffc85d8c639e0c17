// The smallest host: is the notebook on AC power?
#include <celdor/celdor.h>

#include <cstdio>

int main() {
    std::printf("AC power on line: %s\n", Celdor::CAdapter::IsACIn() == 1 ? "yes" : "no");
    return 0;
}
