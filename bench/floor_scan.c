/* The floor for the folder scan benchmark: what any program must do to list a folder sorted,
   namely read it, stat each entry and sort the names ignoring case. */
#include <dirent.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>
#include <sys/stat.h>

static int CompareNoCase(const void* a, const void* b) {
    return strcasecmp(*(char* const*)a, *(char* const*)b);
}

int main(int argc, char** argv) {
    if (argc != 2) {
        fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
        return 2;
    }
    DIR* dir = opendir(argv[1]);
    if (!dir) {
        perror(argv[1]);
        return 1;
    }
    size_t count = 0, capacity = 1024;
    char** names = malloc(capacity * sizeof *names);
    char path[4096];
    struct dirent* entry;
    unsigned long long bytes = 0;
    while ((entry = readdir(dir)) != NULL) {
        struct stat st;
        snprintf(path, sizeof path, "%s/%s", argv[1], entry->d_name);
        if (stat(path, &st) != 0) continue;
        bytes += (unsigned long long)st.st_size;
        if (count == capacity) names = realloc(names, (capacity *= 2) * sizeof *names);
        names[count++] = strdup(entry->d_name);
    }
    closedir(dir);
    qsort(names, count, sizeof *names, CompareNoCase);
    printf("entries %zu\nfirst %s\nbytes %llu\n", count, count ? names[0] : "", bytes);
    return 0;
}
