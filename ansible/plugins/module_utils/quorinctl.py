# -*- coding: utf-8 -*-
# QuorinConfigTool: the quorin.boards collection.
# License: see LICENSE at the collection root.
"""Run quorinctl for the quorin.boards modules.

Every module builds its command through ``Quorinctl``: the binary, the
network options the play gave, the subcommand and its arguments, then
``--json``.  The exit status is mapped to a name and the JSON on standard
output is parsed; failures end the module with a message that names the
command, the status and what quorinctl wrote on standard error.
"""

from __future__ import absolute_import, division, print_function

__metaclass__ = type  # pylint: disable=invalid-name  # Ansible's Python 2 boilerplate

import copy
import json

# The options every module takes, in the order quorinctl's flags are given.
NETWORK_OPTIONS = (
    ("broadcast", "--broadcast"),
    ("interface", "--interface"),
    ("port", "--port"),
    ("legacy_port", "--legacy-port"),
    ("legacy_local_port", "--legacy-local-port"),
    ("upload_port", "--upload-port"),
    ("stream_port", "--stream-port"),
    ("wait_ms", "--wait"),
)

COMMON_OPTIONS = {
    "quorinctl": {"type": "str", "default": "quorinctl"},
    "broadcast": {"type": "str"},
    "interface": {"type": "str"},
    "port": {"type": "int"},
    "legacy_port": {"type": "int"},
    "legacy_local_port": {"type": "int"},
    "upload_port": {"type": "int"},
    "stream_port": {"type": "int"},
    "wait_ms": {"type": "int"},
    "state_dir": {"type": "path"},
}

STATUS_NAMES = {
    0: "ok",
    1: "failure",
    2: "bad_input",
    3: "changes_pending",
    4: "partial",
    130: "interrupted",
}

# How much of standard error goes into a failure message (the whole text is
# returned as 'stderr' too).
STDERR_IN_MESSAGE = 2000


def status_name(returncode):
    """The name of a quorinctl exit status: ok, failure, ... or unknown."""
    return STATUS_NAMES.get(returncode, "unknown")


def module_options(**own):
    """The common options, plus a module's own ones."""
    options = copy.deepcopy(COMMON_OPTIONS)
    options.update(own)
    return options


def network_arguments(params):
    """quorinctl's network flags for the options that are set, in order."""
    args = []
    for name, flag in NETWORK_OPTIONS:
        value = params.get(name)
        if value is not None:
            args.extend([flag, str(value)])
    return args


class QuorinctlResult:
    """One finished quorinctl run."""

    def __init__(self, command, returncode, stdout, stderr):
        self.command = command
        self.rc = returncode  # pylint: disable=invalid-name  # Ansible's name for it
        self.status = status_name(returncode)
        self.stdout = stdout or ""
        self.stderr = stderr or ""
        self.data = None
        self.json_error = None

    def parse_json(self):
        """Parse standard output; on failure keep the reason in json_error."""
        text = self.stdout.strip()
        if not text:
            self.json_error = "standard output is empty"
            return None
        try:
            self.data = json.loads(text)
        except ValueError as error:
            self.json_error = "standard output is not JSON: %s" % error
            return None
        if not isinstance(self.data, dict):
            self.json_error = "standard output is JSON but not an object"
            self.data = None
        return self.data

    def as_dict(self):
        """What a module returns about this run."""
        return {
            "cmd": self.command,
            "rc": self.rc,
            "status": self.status,
            "stdout": self.stdout,
            "stderr": self.stderr,
        }


class Quorinctl:
    """Builds and runs quorinctl commands for one module."""

    def __init__(self, module):
        self.module = module
        self.params = module.params
        self._binary = None

    def binary(self):
        """The quorinctl to run: a path as given, or a name looked up in PATH."""
        if self._binary is None:
            name = self.params.get("quorinctl") or "quorinctl"
            if "/" in name:
                self._binary = name
            else:
                self._binary = self.module.get_bin_path(name, required=True)
        return self._binary

    def command(self, subcommand, args=(), json_output=True):
        """[binary, network options..., subcommand..., args..., '--json']."""
        if isinstance(subcommand, str):
            subcommand = [subcommand]
        argv = [self.binary()]
        argv.extend(network_arguments(self.params))
        argv.extend(subcommand)
        argv.extend(str(arg) for arg in args)
        if json_output:
            argv.append("--json")
        return argv

    def environment(self):
        """The variables quorinctl runs with."""
        env = {"LC_ALL": "C"}
        state_dir = self.params.get("state_dir")
        if state_dir:
            env["XDG_STATE_HOME"] = state_dir
        return env

    def execute(self, subcommand, args=(), json_output=True):
        """Run a command and return its result; never fails the module."""
        argv = self.command(subcommand, args, json_output)
        returncode, stdout, stderr = self.module.run_command(
            argv, check_rc=False, environ_update=self.environment())
        result = QuorinctlResult(argv, returncode, stdout, stderr)
        if json_output:
            result.parse_json()
        return result

    def run(self, subcommand, args=(), json_output=True, accept=("ok",)):
        """Run a command; fail the module unless its status is one of accept
        and (with json_output) it printed a JSON object."""
        result = self.execute(subcommand, args, json_output)
        if result.status not in accept:
            self.fail(result)
        if json_output and result.data is None:
            self.fail(result, "quorinctl printed no usable JSON (%s)" % result.json_error)
        return result

    def fail(self, result, msg=None, **extra):
        """End the module with what is known about a run (without the raw
        standard output when it was parsed: the module returns it as data)."""
        details = result.as_dict()
        if result.data is not None:
            del details["stdout"]
        details.update(extra)
        self.module.fail_json(msg=failure_message(result, msg), **details)


def failure_message(result, msg=None):
    """'<what went wrong>: exit status N (name); stderr: ...; command: ...'."""
    subcommand = _subcommand_of(result.command)
    parts = [msg or "quorinctl %s failed" % subcommand]
    parts.append("exit status %s (%s)" % (result.rc, result.status))
    stderr = result.stderr.strip()
    if stderr:
        if len(stderr) > STDERR_IN_MESSAGE:
            stderr = "..." + stderr[-STDERR_IN_MESSAGE:]
        parts.append("stderr: %s" % stderr)
    parts.append("command: %s" % " ".join(result.command))
    return "; ".join(parts)


def _subcommand_of(command):
    """The first word after the network options (for messages)."""
    flags = set(flag for _name, flag in NETWORK_OPTIONS)
    index = 1
    while index < len(command):
        if command[index] in flags:
            index += 2
            continue
        return command[index]
    return "command"
