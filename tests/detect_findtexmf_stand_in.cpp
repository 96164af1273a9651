// Stand-in for MiKTeX's lookup program in the detection tests: answers
// "findtexmf.exe FILE" with the line that the test put into the variable
// QH_FINDTEXMF_<FILE> (upper case, other characters as '_'), or nothing;
// first it runs the command line in QH_FINDTEXMF_FIRST_RUN, if one is set.
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <string>

int main(int argc, char** argv) {
    if (argc < 2) return 1;
    if (const char* first = std::getenv("QH_FINDTEXMF_FIRST_RUN"); first && *first) {
        // Its output is not part of the answer.
        std::system((std::string(first) + " >NUL").c_str());
    }
    std::string variable = "QH_FINDTEXMF_";
    for (const char* c = argv[1]; *c != '\0'; ++c) {
        const auto byte = static_cast<unsigned char>(*c);
        variable += std::isalnum(byte) ? static_cast<char>(std::toupper(byte)) : '_';
    }
    const char* answer = std::getenv(variable.c_str());
    if (answer == nullptr || *answer == '\0') return 1;
    std::printf("%s\n", answer);
    return 0;
}
