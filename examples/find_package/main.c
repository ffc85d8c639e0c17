/* The smallest host of the C interface: is the notebook on AC power? */
#include <celdor/celdor_c.h>

#include <stdio.h>

int main(void) {
    printf("AC power on line: %s\n", celdor_adapter_ac_in() == 1 ? "yes" : "no");
    return 0;
}
