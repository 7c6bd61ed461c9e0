#!/usr/bin/env python3
"""Reads onexrev-cli's own help (CLI11's --help of the program and of each
verb) and writes from it

  --completion FILE    the bash completion: verbs, each verb's options, the
                       values of options and arguments with a fixed set,
                       file names for options that take a file and folders
                       for a folder
  --man-include FILE   the verbs' options, for help2man's onexrev-cli(1)

so that neither can drift from the program.

    cli_help.py PROGRAM [--completion FILE] [--man-include FILE]
"""

import argparse
import re
import subprocess
import sys


def help_text(program, *verb):
    return subprocess.run([program, *verb, "--help"], check=True, capture_output=True,
                          text=True).stdout


def sections(text):
    """{"Options": [lines], ...}: the indented lines under each "Name:" heading."""
    out, current = {}, None
    for line in text.splitlines():
        heading = re.fullmatch(r"(\w+):", line)
        if heading:
            current = out.setdefault(heading.group(1), [])
        elif current is not None and line.startswith(" "):
            current.append(line)
        elif not line.strip():
            current = None
    return out


def entries(lines):
    """(names, type, description) of each entry of a section. CLI11 puts a
    long description on the next line, and after the type the entry's
    range and modifiers ("...", "REQUIRED", "Excludes: --a --b"), which a description
    may follow after a single blank."""
    out = []
    for line in lines:
        if re.match(r"  \S", line):
            head, _, desc = re.sub(r"\s{2,}", "\0", line.strip(), count=1).partition("\0")
            names, *tokens = head.split(" ")
            type_name = tokens.pop(0) if tokens else ""
            if tokens[:1] == ["in"]:  # a range, "FLOAT:FLOAT in [1e-05 - 1]"
                while tokens and not tokens.pop(0).endswith("]"):
                    pass
            while tokens and tokens[0] in ("...", "REQUIRED", "Excludes:", "Needs:"):
                tokens.pop(0)
                while tokens and tokens[0].startswith("-"):
                    tokens.pop(0)
            desc = " ".join(tokens + [desc]).strip()
            out.append([names.split(","), type_name, desc])
        elif out:
            out[-1][2] = (out[-1][2] + " " + line.strip()).strip()
    return out


def value_kind(type_name, desc):
    """What completes an option's value: "" nothing (a flag), "set:a b" the
    members, "files", "dirs", or "none" (a number, an address, ...)."""
    if not type_name:
        return ""
    choices = re.search(r":\{([^}]*)\}", type_name)
    if choices:
        return "set:" + " ".join(choices.group(1).split(","))
    if not type_name.startswith("TEXT"):
        return "none"
    # The first clause says what the value is ("parameter file to ...",
    # "folder of correction files (default ...)").
    first = re.split(r"[:;(]", desc, maxsplit=1)[0]
    if re.search(r"\bfolder\b|\bDIR\b", first):
        return "dirs"
    if re.search(r"file\b|\bFILE\b", first, re.IGNORECASE):
        return "files"
    return "none"


def read_program(program):
    top = sections(help_text(program))
    verbs = []
    for names, _, summary in entries(top.get("Subcommands", [])):
        verb = names[0]
        text = help_text(program, verb)
        usage = re.search(r"^Usage: (.*)$", text, re.MULTILINE)
        parts = sections(text)
        options = [(n, value_kind(t, d), t, d) for n, t, d in entries(parts.get("Options", []))]
        arguments = [(n[0], value_kind(t, d), t, d) for n, t, d in entries(parts.get("Positionals", []))]
        verbs.append({"name": verb, "summary": summary, "usage": usage.group(1) if usage else verb,
                      "options": options, "arguments": arguments})
    globals_ = [n for names, _, _ in entries(top.get("Options", [])) for n in names]
    return verbs, globals_


def completion(verbs, globals_):
    cases, options, arguments = [], [], []
    for v in verbs:
        words = [n for names, _, _, _ in v["options"] for n in names]
        options.append(f'        {v["name"]}) words="{" ".join(words)}" ;;')
        for names, kind, _, _ in v["options"]:
            if kind:
                cases.append(([f'{v["name"]}:{n}' for n in names], kind))
        sets = [k[4:] for _, k, _, _ in v["arguments"] if k.startswith("set:")]
        if sets:
            arguments.append(f'        {v["name"]}) words="{" ".join(sets)}" ;;')
    value_cases = []
    for patterns, kind in cases:
        action = {
            "files": '_onexrev_cli_names -f; return ;;',
            "dirs": '_onexrev_cli_names -d; return ;;',
            "none": 'return ;;',
        }.get(kind, f'COMPREPLY=($(compgen -W "{kind[4:]}" -- "$cur")); return ;;')
        value_cases.append(f'        {"|".join(patterns)}) {action}')
    verb_names = " ".join(v["name"] for v in verbs)
    return f"""# bash completion for onexrev-cli. Generated from the program's --help by
# packaging/cli_help.py; do not edit.

# File or folder names (-f or -d) for the current word.
_onexrev_cli_names() {{
    if declare -F _filedir >/dev/null; then
        if [ "$1" = -d ]; then _filedir -d; else _filedir; fi
    else
        compopt -o filenames 2>/dev/null
        mapfile -t COMPREPLY < <(compgen "$1" -- "$cur")
    fi
}}

_onexrev_cli() {{
    local cur=${{COMP_WORDS[COMP_CWORD]}} prev=${{COMP_WORDS[COMP_CWORD-1]}} verb= words= i
    COMPREPLY=()
    for ((i = 1; i < COMP_CWORD; i++)); do
        case ${{COMP_WORDS[i]}} in
            {verb_names.replace(" ", "|")}) verb=${{COMP_WORDS[i]}}; break ;;
        esac
    done
    if [ -z "$verb" ]; then
        COMPREPLY=($(compgen -W "{verb_names} {" ".join(globals_)}" -- "$cur"))
        return
    fi
    case "$verb:$prev" in
{chr(10).join(value_cases)}
    esac
    if [[ $cur != -* ]]; then
        case $verb in
{chr(10).join(arguments)}
        esac
    fi
    if [ -z "$words" ]; then
        case $verb in
{chr(10).join(options)}
        esac
    fi
    COMPREPLY=($(compgen -W "$words" -- "$cur"))
}}
complete -F _onexrev_cli onexrev-cli
"""


def roff(text):
    text = text.replace("\\", "\\e").replace("-", "\\-")
    return "\\&" + text if text[:1] in ".'" else text


def man_include(verbs):
    out = ["[>OPTIONS]"]
    for v in verbs:
        out.append(f'.SS "{roff(v["name"])}"')
        out.append(f'.B "{roff(v["usage"])}"')
        out += [".br", roff(v["summary"].rstrip(".") + ".")]
        for name, _, type_name, desc in v["arguments"]:
            out += [".TP", f".I {roff(name)}", roff(desc or type_name)]
        for names, _, type_name, desc in v["options"]:
            if "--help" in names:
                continue
            value = f" {roff(type_name.split(':')[0])}" if type_name else ""
            out += [".TP", f'.B "{roff(", ".join(names))}{value}"', roff(desc)]
    return "\n".join(out) + "\n"


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("program")
    parser.add_argument("--completion")
    parser.add_argument("--man-include")
    args = parser.parse_args()
    verbs, globals_ = read_program(args.program)
    if not verbs:
        sys.exit(f"{args.program} --help lists no verbs")
    if args.completion:
        with open(args.completion, "w") as f:
            f.write(completion(verbs, globals_))
    if args.man_include:
        with open(args.man_include, "w") as f:
            f.write(man_include(verbs))


if __name__ == "__main__":
    main()
