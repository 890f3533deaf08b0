#include "hash_table.h"

int stringHash(const std::string& key) {
    int sum = 0;
    for (const char* p = key.c_str(); *p != '\0'; ++p) {
        sum += static_cast<signed char>(*p);
    }
    return sum;
}

int compareNames(const std::string& a, const std::string& b) {
    const char* p = a.c_str();
    const char* q = b.c_str();
    while (*p != '\0' && *p == *q) {
        ++p;
        ++q;
    }
    return static_cast<signed char>(*p) - static_cast<signed char>(*q);
}
