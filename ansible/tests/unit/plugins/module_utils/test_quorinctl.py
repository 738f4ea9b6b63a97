# -*- coding: utf-8 -*-
# QuorinConfigTool: the quorin.boards collection.
"""The quorinctl runner, with the process replaced by a table of answers."""

from __future__ import absolute_import, division, print_function

__metaclass__ = type  # pylint: disable=invalid-name

import pytest

from ansible_collections.quorin.boards.plugins.module_utils import quorinctl

BINARY = "/opt/quorin/bin/quorinctl"


class Failed(Exception):
    """fail_json was called."""

    def __init__(self, kwargs):
        super().__init__(kwargs.get("msg"))
        self.kwargs = kwargs


class FakeModule:
    """The part of AnsibleModule the runner uses."""

    def __init__(self, params, answer=(0, "{}", "")):
        self.params = dict((name, None) for name in quorinctl.COMMON_OPTIONS)
        self.params["quorinctl"] = BINARY
        self.params.update(params)
        self.answer = answer
        self.calls = []

    def run_command(self, argv, check_rc=False, environ_update=None):
        """Record the call and give the canned answer."""
        self.calls.append({"argv": argv, "check_rc": check_rc, "env": environ_update})
        return self.answer

    def fail_json(self, **kwargs):
        """Stop as AnsibleModule would."""
        raise Failed(kwargs)

    @staticmethod
    def get_bin_path(name, required=False):
        """PATH has every program in /usr/local/bin."""
        assert required
        return "/usr/local/bin/" + name


@pytest.mark.parametrize("params, subcommand, args, json_output, expected", [
    ({}, "search", [], True, [BINARY, "search", "--json"]),
    ({"broadcast": "127.255.255.255", "port": 40001, "legacy_port": 40002, "legacy_local_port": 0},
     "search", [], True,
     [BINARY, "--broadcast", "127.255.255.255", "--port", "40001", "--legacy-port", "40002",
      "--legacy-local-port", "0", "search", "--json"]),
    ({"interface": "eth1", "upload_port": 1, "stream_port": 2, "wait_ms": 300},
     "show", ["02:51:00:02:00:00"], True,
     [BINARY, "--interface", "eth1", "--upload-port", "1", "--stream-port", "2", "--wait", "300",
      "show", "02:51:00:02:00:00", "--json"]),
    ({"wait_ms": 0}, "set", ["02:51:00:02:00:00", "a=1", "b=two words"], False,
     [BINARY, "--wait", "0", "set", "02:51:00:02:00:00", "a=1", "b=two words"]),
    ({}, ["site", "init"], [], False, [BINARY, "site", "init"]),
    ({"quorinctl": "quorinctl"}, "search", ["--expect", 3], True,
     ["/usr/local/bin/quorinctl", "search", "--expect", "3", "--json"]),
    ({"quorinctl": "./build/cli/quorinctl"}, "audit", ["site.yml"], True,
     ["./build/cli/quorinctl", "audit", "site.yml", "--json"]),
])
def test_command_line(params, subcommand, args, json_output, expected):
    """Network options only when set, in quorinctl's order, before the subcommand."""
    module = FakeModule(params)
    assert quorinctl.Quorinctl(module).command(subcommand, args, json_output) == expected


@pytest.mark.parametrize("returncode, name", [
    (0, "ok"), (1, "failure"), (2, "bad_input"), (3, "changes_pending"), (4, "partial"),
    (130, "interrupted"), (5, "unknown"), (-15, "unknown"), (255, "unknown"),
])
def test_status_names(returncode, name):
    """Every exit status quorinctl documents has its name; the others are unknown."""
    assert quorinctl.status_name(returncode) == name
    module = FakeModule({}, (returncode, '{"boards": []}', ""))
    result = quorinctl.Quorinctl(module).execute("search")
    assert (result.rc, result.status, result.data) == (returncode, name, {"boards": []})


@pytest.mark.parametrize("returncode, accept, fails", [
    (0, ("ok",), False),
    (1, ("ok",), True),
    (2, ("ok",), True),
    (3, ("ok",), True),
    (3, ("ok", "changes_pending"), False),
    (4, ("ok",), True),
    (4, ("ok", "partial"), False),
    (130, ("ok", "partial"), True),
    (7, ("ok",), True),
])
def test_run_accepts_only_the_statuses_named(returncode, accept, fails):
    """run() fails the module, naming the status, unless the status is accepted."""
    module = FakeModule({}, (returncode, '{"x": 1}', "quorinctl: no answer\n"))
    runner = quorinctl.Quorinctl(module)
    if fails:
        with pytest.raises(Failed) as failure:
            runner.run("audit", ["site.yml"], accept=accept)
        kwargs = failure.value.kwargs
        assert kwargs["rc"] == returncode
        assert kwargs["status"] == quorinctl.status_name(returncode)
        assert "(%s)" % quorinctl.status_name(returncode) in kwargs["msg"]
        assert "quorinctl audit failed" in kwargs["msg"]
        assert "stderr: quorinctl: no answer" in kwargs["msg"]
        assert "command: %s audit site.yml --json" % BINARY in kwargs["msg"]
        assert kwargs["cmd"] == [BINARY, "audit", "site.yml", "--json"]
    else:
        assert runner.run("audit", ["site.yml"], accept=accept).data == {"x": 1}


@pytest.mark.parametrize("stdout, reason", [
    ("", "standard output is empty"),
    ("   \n", "standard output is empty"),
    ("board 02:51:00:02:00:00 ok", "standard output is not JSON"),
    ('{"boards": [', "standard output is not JSON"),
    ("[1, 2]", "JSON but not an object"),
    ('"text"', "JSON but not an object"),
])
def test_bad_json_fails(stdout, reason):
    """Exit 0 without a JSON object is a failure that says why."""
    module = FakeModule({}, (0, stdout, ""))
    with pytest.raises(Failed) as failure:
        quorinctl.Quorinctl(module).run("search")
    assert "printed no usable JSON" in failure.value.kwargs["msg"]
    assert reason in failure.value.kwargs["msg"]
    assert failure.value.kwargs["stdout"] == stdout


def test_failure_without_raw_stdout_when_parsed():
    """A failure after parsed JSON returns no raw stdout (the module returns the data)."""
    module = FakeModule({}, (4, '{"boards": []}', ""))
    with pytest.raises(Failed) as failure:
        quorinctl.Quorinctl(module).run("apply", ["site.yml"])
    assert "stdout" not in failure.value.kwargs
    assert failure.value.kwargs["status"] == "partial"


@pytest.mark.parametrize("state_dir, expected", [
    (None, {"LC_ALL": "C"}),
    ("/tmp/quorin-state", {"LC_ALL": "C", "XDG_STATE_HOME": "/tmp/quorin-state"}),
])
def test_environment(state_dir, expected):
    """LC_ALL=C always; XDG_STATE_HOME only with state_dir; never check_rc."""
    module = FakeModule({"state_dir": state_dir})
    quorinctl.Quorinctl(module).execute("search")
    assert module.calls[0]["env"] == expected
    assert module.calls[0]["check_rc"] is False


@pytest.mark.parametrize("stderr, expected_tail", [
    ("", "exit status 1 (failure); command: %s --port 9 show x --json" % BINARY),
    ("e" * 3000, "stderr: ..." + "e" * quorinctl.STDERR_IN_MESSAGE),
])
def test_failure_message(stderr, expected_tail):
    """Long stderr is cut in the message (and returned whole)."""
    result = quorinctl.QuorinctlResult([BINARY, "--port", "9", "show", "x", "--json"], 1, "", stderr)
    message = quorinctl.failure_message(result)
    assert message.startswith("quorinctl show failed; exit status 1 (failure)")
    assert expected_tail in message


def test_json_output_off_does_not_parse():
    """Commands without --json (set) are not parsed."""
    module = FakeModule({}, (0, "02:51:00:02:00:00 ok: 1 field(s) set and verified\n", ""))
    result = quorinctl.Quorinctl(module).run("set", ["m", "a=1"], json_output=False)
    assert result.data is None
    assert module.calls[0]["argv"][-1] == "a=1"


def test_module_options_are_a_copy():
    """A module's own options are added to a copy of the common ones."""
    options = quorinctl.module_options(mac={"type": "str", "required": True})
    assert options["mac"] == {"type": "str", "required": True}
    options["port"]["type"] = "str"
    assert quorinctl.COMMON_OPTIONS["port"]["type"] == "int"
    assert "mac" not in quorinctl.COMMON_OPTIONS
