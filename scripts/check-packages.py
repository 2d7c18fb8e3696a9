#!/usr/bin/env python3
"""Checks that the install list names everything a build and its tests use.

Every file the build read from outside the source and build trees (the
headers in the compiler's dependency records and the CMake package files of
the packages CMakeCache.txt found) and every program that the tests and the
scripts of the main job and CI run must belong to a Debian package that the
install list installs: a listed package, or one of the packages it depends on
(apt-cache depends --recurse, without recommendations, which the install
script does not install either). The packages of the compiler itself and the
essential packages of the Debian image count as present.

usage: check-packages.py [--packages FILE] [--source DIR] BUILD_DIR

Prints each package that is missing from the list with the files that need
it, each file that no package installed, and exits 1; exits 0 and prints one
line when nothing is missing."""
import argparse
import glob
import os
import re
import shlex
import subprocess
import sys

# Where Debian installs programs (/usr/local is the administrator's own).
PATH_DIRS = ["/usr/sbin", "/usr/bin", "/sbin", "/bin"]

# Shell words that start a command without being one, and the words that
# hand the rest of the command line to another program.
SHELL_KEYWORDS = {"if", "then", "else", "elif", "fi", "do", "done", "while", "until", "case", "esac", "in",
                  "function", "{", "}", "!", "[[", "]]", "select", "coproc"}
SHELL_BUILTINS = {"cd", "echo", "printf", "read", "mapfile", "readarray", "local", "export", "set", "unset",
                  "shift", "return", "exit", "source", ".", "eval", "trap", "wait", "umask", "ulimit", "type",
                  "declare", "typeset", "test", "[", "true", "false", ":", "pwd", "pushd", "popd", "hash",
                  "getopts", "let", "break", "continue", "alias", "jobs", "kill", "shopt", "builtin", "command"}
PREFIX_COMMANDS = {"exec", "env", "nice", "sudo", "time", "timeout", "setpriv", "unshare", "xvfb-run", "nohup",
                   "flock", "stdbuf", "setsid"}


def run(cmd, **kw):
    return subprocess.run(cmd, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True, **kw)


def read_list(path):
    names = []
    with open(path, encoding="utf-8") as f:
        for line in f:
            line = line.split("#", 1)[0].strip()
            if line:
                names.append(line)
    return sorted(set(names))


def strip_arch(name):
    name = name.strip().strip("<>")
    return name.split(":", 1)[0]


class Closure:
    """The packages apt installs for these (without recommendations), with
    every alternative and every provider of a virtual package apt could pick.
    apt-cache runs while the caller does other work; result() waits for it."""

    def __init__(self, packages):
        self.proc = None
        if packages:
            self.proc = subprocess.Popen(
                ["apt-cache", "depends", "--recurse", "--no-recommends", "--no-suggests", "--no-conflicts",
                 "--no-breaks", "--no-replaces", "--no-enhances"] + sorted(packages),
                stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)

    def result(self):
        """(packages, lines naming the packages apt does not know)."""
        if not self.proc:
            return set(), []
        out, err = self.proc.communicate()
        unknown = [line for line in err.splitlines() if "No packages found" in line or "Unable to locate" in line]
        found = {strip_arch(line) for line in out.splitlines() if line and not line[0].isspace()}
        return found, unknown


def image_packages():
    """The essential and required packages every Debian installation has."""
    r = run(["dpkg-query", "-W", "-f", "${Package}\t${Essential}\t${Priority}\n"])
    base = set()
    for line in r.stdout.splitlines():
        parts = line.split("\t")
        if len(parts) == 3 and (parts[1] == "yes" or parts[2] == "required"):
            base.add(parts[0])
    return base


def owners(paths):
    """dpkg -S for many paths at once: path -> set of packages."""
    result = {}
    paths = sorted(set(paths))
    for i in range(0, len(paths), 500):
        chunk = paths[i:i + 500]
        r = run(["dpkg", "-S"] + chunk)
        for line in r.stdout.splitlines():
            if line.startswith("diversion by"):
                continue
            head, sep, path = line.partition(": /")
            if not sep:
                continue
            path = "/" + path
            result.setdefault(path, set()).update(strip_arch(p) for p in head.split(","))
    return result


def alternatives(path):
    """The names under which dpkg may know a file: the path, where its
    symbolic links lead, and its twin across the merged /usr."""
    names = [path]
    real = os.path.realpath(path)
    if real != path:
        names.append(real)
    for p in list(names):
        for a, b in (("/usr/lib/", "/lib/"), ("/usr/bin/", "/bin/"), ("/usr/sbin/", "/sbin/")):
            if p.startswith(a):
                names.append(b + p[len(a):])
            elif p.startswith(b):
                names.append(a + p[len(b):])
    return list(dict.fromkeys(names))


def outside(path, trees):
    return not any(path == t or path.startswith(t + "/") for t in trees)


# ---- what the build read --------------------------------------------------------------------------------------

def dependency_files(build, trees):
    r = run(["ninja", "-C", build, "-t", "deps"])
    if r.returncode != 0:
        sys.exit("check-packages: ninja -t deps failed in %s: %s" % (build, r.stderr.strip()))
    paths = {line.strip() for line in r.stdout.splitlines() if line[:1].isspace()}
    return {p for p in map(os.path.normpath, paths) if p.startswith("/") and outside(p, trees)}


def cache_entries(build):
    """NAME -> value of the CMakeCache.txt entries that hold a path."""
    entries = {}
    with open(os.path.join(build, "CMakeCache.txt"), encoding="utf-8", errors="replace") as f:
        for line in f:
            m = re.match(r"^([^#/][^:]*):(PATH|FILEPATH|INTERNAL|STATIC)=(.*)$", line.rstrip("\n"))
            if m:
                entries[m.group(1)] = m.group(3)
    return entries


def package_files(entries, trees):
    """The CMake package configuration files found through the cache: the
    *Config.cmake (or *-config.cmake) files, with their version files, in the
    folder of every <Package>_DIR entry outside the trees."""
    files = set()
    for name, value in entries.items():
        if not name.endswith("_DIR") or not value.startswith("/") or not os.path.isdir(value):
            continue
        if not outside(os.path.normpath(value), trees):
            continue
        for pattern in ("*Config.cmake", "*-config.cmake", "*ConfigVersion.cmake", "*-config-version.cmake"):
            files.update(glob.glob(os.path.join(value, pattern)))
    return files


def compiler_packages(entries):
    paths = [os.path.realpath(entries[k]) for k in ("CMAKE_C_COMPILER", "CMAKE_CXX_COMPILER")
             if entries.get(k, "").startswith("/")]
    found = owners(paths)
    packages = set()
    for p in paths:
        packages |= found.get(p, set())
    return packages


# ---- the programs the tests and the scripts run -----------------------------------------------------------------

def shell_commands(text):
    """The command words of a shell script: the first word of every simple
    command, also inside $( ) and after the words that run another program."""
    words = []
    heredoc = None
    for raw in text.splitlines():
        line = raw.strip()
        if heredoc is not None:
            # A here-document is data (or a script of another language), not
            # shell commands.
            if line == heredoc:
                heredoc = None
            continue
        if not line or line.startswith("#"):
            continue
        m = re.search(r"<<-?\s*(['\"]?)([A-Za-z_][A-Za-z0-9_]*)\1", line)
        if m:
            heredoc = m.group(2)
        line = re.sub(r"\s#.*$", "", line)
        for inner in re.findall(r"\$\(([^()]*)\)", line):
            words += shell_commands(inner)
        try:
            lex = shlex.shlex(line, posix=True, punctuation_chars=True)
            lex.whitespace_split = True
            tokens = list(lex)
        except ValueError:
            continue
        at_start, skip_to_separator = True, False
        for tok in tokens:
            if tok and set(tok) <= set(";|&()<>"):
                at_start, skip_to_separator = True, False
                continue
            if skip_to_separator or not at_start:
                continue
            if tok in SHELL_KEYWORDS:
                continue
            if tok == "for":
                skip_to_separator = True
                continue
            if re.match(r"^[A-Za-z_][A-Za-z0-9_]*(\[[^]]*\])?\+?=", tok):
                continue
            if tok.startswith("-") or tok.isdigit():
                continue  # an option of a prefix command (nice -n 5)
            if tok.startswith("$"):
                continue  # a command held in a variable: its next word may be the program
            words.append(tok)
            if tok not in PREFIX_COMMANDS:
                at_start = False
    return words


CPP_TOKEN = re.compile(r'//|/\*|R"|"|\'')


def cpp_literals(text):
    """(start, end, text) of every string literal of a C++ source, comments
    and character literals stepped over."""
    out, i, n = [], 0, len(text)
    while True:
        m = CPP_TOKEN.search(text, i)
        if not m:
            return out
        i, tok = m.start(), m.group()
        if tok == "//":
            j = text.find("\n", i)
            i = n if j < 0 else j
        elif tok == "/*":
            j = text.find("*/", i + 2)
            i = n if j < 0 else j + 2
        elif tok == 'R"':
            r = re.match(r'R"([^(\s]*)\(', text[i:i + 20])
            if not r or (i and (text[i - 1].isalnum() or text[i - 1] == "_")):
                i += 1
                continue
            close = ")" + r.group(1) + '"'
            j = text.find(close, i + r.end())
            j = n if j < 0 else j
            out.append((i, j + len(close), text[i + r.end():j]))
            i = j + len(close)
        elif tok == '"':
            j = i + 1
            while j < n and text[j] not in '"\n':
                j += 2 if text[j] == "\\" else 1
            out.append((i, j + 1, text[i + 1:j]))
            i = j + 1
        elif i and text[i - 1].isalnum():
            i += 1  # a digit separator (1'000)
        else:
            j = i + 1
            while j < n and text[j] not in "'\n":
                j += 2 if text[j] == "\\" else 1
            i = j + 1


def python_literals(text):
    import io
    import tokenize
    out = []
    lines = [0]
    for line in io.StringIO(text):
        lines.append(lines[-1] + len(line))
    try:
        for tok in tokenize.generate_tokens(io.StringIO(text).readline):
            if tok.type == tokenize.STRING:
                start = lines[tok.start[0] - 1] + tok.start[1]
                end = lines[tok.end[0] - 1] + tok.end[1]
                body = re.sub(r'^[rbuRBUfF]*("""|\'\'\'|"|\')', "", tok.string)
                body = re.sub(r'("""|\'\'\'|"|\')$', "", body)
                out.append((start, end, body))
    except (tokenize.TokenError, SyntaxError):
        pass
    return out


# Calls whose one-word argument names a program the test looks for, and
# calls that run a command line.
PROGRAM_ARGUMENT = re.compile(r"(have|need|tool|checker|program|onpath|which|find)\w*\s*\(\s*$", re.I)
COMMAND_ARGUMENT = re.compile(r"(shell|run|system|popen|exec|command|capture|output|spawn)\w*\s*\(\s*"
                              r"(std::string\s*\(\s*)?$", re.I)


def literal_commands(text, literals):
    """Program names in the string literals of a source. A literal holds a
    command line when it is a path, or when its first word is followed by
    options, paths or the rest of the command glued on (a trailing blank);
    shell separators inside it start another command. A literal of one word
    names a program when it is the first word of an argument list (the next
    literal an option or a path) or the argument of a call that looks for a
    program (Have, NeedTool, VEXA_NEED_CHECKER and the like)."""
    words = []
    for start, end, body in literals:
        after = text[end:end + 8]
        argv0 = re.match(r'\s*,\s*R?["\']+[-/]', after) is not None
        looked_for = PROGRAM_ARGUMENT.search(text[max(0, start - 40):start]) is not None
        run_by_call = COMMAND_ARGUMENT.search(text[max(0, start - 40):start]) is not None
        before = text[max(0, start - 3):start].rstrip()
        continued = before.endswith(("+", "<<"))  # the middle or the end of a longer text
        for index, part in enumerate(re.split(r"\|\||&&|[|;`]|\$\(", body)):
            if index == 0 and continued:
                continue
            tokens = part.split()
            prefixes = []
            while len(tokens) > 1 and (tokens[0] in PREFIX_COMMANDS or tokens[0] == "command"):
                prefixes.append(tokens[0])
                tokens = tokens[1:]
                while len(tokens) > 1 and (tokens[0].startswith("-") or "=" in tokens[0]):
                    tokens = tokens[1:]
            if not tokens:
                continue
            first, rest = tokens[0], tokens[1:]
            if rest:
                commandish = first.startswith("/") or any(t[:1] in ("-", "/", "'", '"') for t in rest)
            else:
                commandish = (first.startswith("/") or index > 0 or argv0 or looked_for
                              or (part.endswith(" ") and run_by_call))
            if commandish:
                words += [p for p in prefixes if p != "command"] + [first]
    return words


def python_imports(text):
    mods = set()
    for m in re.finditer(r"^\s*(?:import\s+([\w.]+(?:\s*,\s*[\w.]+)*)|from\s+([\w.]+)\s+import)", text, re.M):
        for name in (m.group(1) or m.group(2)).split(","):
            mods.add(name.strip().split(".")[0])
    return mods


def module_files(modules):
    if not modules:
        return set()
    code = ("import importlib.util,sys\n"
            "for n in sys.argv[1:]:\n"
            "  s=importlib.util.find_spec(n)\n"
            "  o=getattr(s,'origin',None) if s else None\n"
            "  print(n+'\\t'+(o if o and o.startswith('/') else ''))\n")
    # The tests run Debian's interpreter, whatever python3 the PATH finds first.
    r = run(["/usr/bin/python3", "-c", code] + sorted(modules))
    files = set()
    for line in r.stdout.splitlines():
        name, _, origin = line.partition("\t")
        if origin:
            files.add(origin)
    return files


def resolve_program(word, own_programs):
    word = word.strip("\"'")
    if not word or word in SHELL_BUILTINS or word in SHELL_KEYWORDS:
        return None
    base = os.path.basename(word)
    if base in own_programs:
        return None
    if word.startswith(("/proc/", "/dev/", "/sys/")):
        return None
    if word.startswith("/"):
        return word if os.path.isfile(word) and os.access(word, os.X_OK) else None
    if not re.match(r"^[A-Za-z0-9][A-Za-z0-9._+-]*$", word):
        return None
    for d in PATH_DIRS:
        p = os.path.join(d, word)
        if os.path.isfile(p) and os.access(p, os.X_OK):
            return p
    return None


def tracked_files(source):
    try:
        r = run(["git", "-C", source, "ls-files"])
        if r.returncode == 0 and r.stdout.strip():
            return r.stdout.splitlines()
    except OSError:
        pass  # no git on this machine: every file of the tree but the build folders
    listed = []
    for base, dirs, names in os.walk(source):
        dirs[:] = [d for d in dirs if not d.startswith("build") and d != ".git"]
        listed += [os.path.relpath(os.path.join(base, n), source) for n in names if n != ".git"]
    return listed


def program_users(source, build):
    """program path -> the first source file that runs it."""
    own = set()
    for d in ("bin", "tests"):
        folder = os.path.join(build, d)
        if os.path.isdir(folder):
            own |= set(os.listdir(folder))
    users, modules = {}, {}
    for rel in tracked_files(source):
        parts = rel.split("/")
        in_tests = any(p in ("tests", "testsupport", "support") for p in parts[:-1]) or parts[0] == "tests"
        in_scripts = parts[0] == "scripts" or rel == ".ci/run"
        path = os.path.join(source, rel)
        if in_scripts and rel.endswith((".sh", "run")):
            words = shell_commands(open(path, encoding="utf-8", errors="replace").read())
        elif in_tests and rel.endswith((".cpp", ".h", ".py")):
            text = open(path, encoding="utf-8", errors="replace").read()
            literals = python_literals(text) if rel.endswith(".py") else cpp_literals(text)
            words = literal_commands(text, literals)
            if rel.endswith(".py"):
                for m in python_imports(text):
                    modules.setdefault(m, rel)
        else:
            continue
        for w in words:
            p = resolve_program(w, own)
            if p:
                users.setdefault(p, rel)
    for f in module_files(set(modules)):
        users.setdefault(f, "python modules")
    return users


# ---- the check ------------------------------------------------------------------------------------------------

def main():
    here = os.path.dirname(os.path.abspath(__file__))
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    ap.add_argument("build", help="the build folder (a Ninja build)")
    ap.add_argument("--packages", default=os.path.join(here, "packages.txt"), help="the install list")
    ap.add_argument("--source", default=os.path.dirname(here), help="the source tree")
    ap.add_argument("--list", action="store_true", help="print every file and program with its package")
    args = ap.parse_args()
    source = os.path.realpath(args.source)
    build = os.path.realpath(args.build)
    trees = [source, build, os.path.normpath(args.source), os.path.normpath(os.path.abspath(args.build))]

    entries = cache_entries(build)
    if entries.get("CMAKE_HOME_DIRECTORY", "").startswith("/"):
        trees.append(os.path.normpath(entries["CMAKE_HOME_DIRECTORY"]))
    listed = read_list(args.packages)
    listed_closure = Closure(listed)
    compiler_closure = Closure(compiler_packages(entries))
    provided, unknown = listed_closure.result()
    if unknown:
        for line in unknown:
            print("check-packages: %s: %s" % (args.packages, line), file=sys.stderr)
        return 1
    compiler, _ = compiler_closure.result()
    provided |= image_packages() | compiler

    needs = {}  # path -> why it is needed
    for f in dependency_files(build, trees):
        needs.setdefault(f, "the build included it")
    for f in package_files(entries, trees):
        needs.setdefault(f, "CMakeCache.txt names it")
    for f, user in program_users(source, build).items():
        needs.setdefault(f, "run by " + user)

    names = {p: alternatives(p) for p in needs}
    found = owners([n for ns in names.values() for n in ns])
    missing, unowned = {}, []
    for path, why in sorted(needs.items()):
        packages = set()
        for n in names[path]:
            packages |= found.get(n, set())
        if args.list:
            print("%s\t%s\t%s" % (",".join(sorted(packages)) or "-", path, why))
        if not packages:
            unowned.append((path, why))
        elif not packages & provided:
            missing.setdefault(" or ".join(sorted(packages)), []).append((path, why))

    for package, files in sorted(missing.items()):
        print("check-packages: %s is not installed by %s (nor by the packages it depends on); needed for:"
              % (package, args.packages), file=sys.stderr)
        for path, why in files[:5]:
            print("    %s (%s)" % (path, why), file=sys.stderr)
        if len(files) > 5:
            print("    and %d more" % (len(files) - 5), file=sys.stderr)
    for path, why in unowned:
        print("check-packages: %s (%s) was installed by no Debian package" % (path, why), file=sys.stderr)
    if missing or unowned:
        return 1
    print("check-packages: the %d files and programs the build and the tests use come from %s"
          % (len(needs), args.packages))
    return 0


if __name__ == "__main__":
    sys.exit(main())
