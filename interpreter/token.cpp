#include "token.h"

const char* const TokenNames[kTokenKindCount] = {
    "nothing", "variable", "parameter", "name", "lmi", "lme", "obj", "var", "eval", "who",
    "whos", "build", "solve", "feas", "mask", "clear", "format", "compact", "verbose", "import",
    "export", "inline", "on", "off", "pause", "exec", "echo", "help", "home", "cd",
    "pwd", "dir", "cputime", "space", "literal", "type", "~", "==", "~=", "&",
    "|", "<", "<=", ">", ">=", "=", "+", "-", "*", "\\",
    "/", "^", "sqrt", "(", ")", "[", "]", ",", ";", ":",
    "'", "eye", "ones", "zeros", "trace", "block", "size", "inv", "eig", "eigvec",
    "null", "chol", "det", "for", "if", "else", "break", "while", "find", "eol",
    "end", "unknown"};
