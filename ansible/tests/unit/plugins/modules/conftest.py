# -*- coding: utf-8 -*-
# QuorinConfigTool: the quorin.boards collection.
"""Run a module's main() with quorinctl replaced by a table of answers."""

from __future__ import absolute_import, division, print_function

__metaclass__ = type  # pylint: disable=invalid-name

import json

import pytest

from ansible.module_utils import basic
from ansible.module_utils.common.text.converters import to_bytes

from ansible_collections.quorin.boards.plugins.module_utils.quorinctl import _subcommand_of

BINARY = "/opt/quorin/bin/quorinctl"
LOOPBACK = {"quorinctl": BINARY, "broadcast": "127.255.255.255", "port": 40001,
            "legacy_port": 40002, "legacy_local_port": 0}


class ModuleExit(Exception):
    """exit_json or fail_json was called."""

    def __init__(self, failed, kwargs):
        super().__init__(kwargs.get("msg"))
        self.failed = failed
        self.result = kwargs


class Run:
    """What one module run did."""

    def __init__(self, failed, result, calls):
        self.failed = failed
        self.result = result
        self.calls = calls

    @property
    def subcommands(self):
        """The subcommand of every quorinctl call, in order."""
        return [_subcommand_of(argv) for argv in self.calls]


def _run(main, params, answers, check_mode=False, diff=False):
    """answers: [(subcommand, rc, stdout, stderr)], consumed in order."""
    args = dict(LOOPBACK, **params)
    args["_ansible_check_mode"] = check_mode
    args["_ansible_diff"] = diff
    pending = list(answers)
    calls = []

    def run_command(_module, argv, check_rc=False, environ_update=None):
        assert check_rc is False
        assert environ_update["LC_ALL"] == "C"
        calls.append(list(argv))
        assert pending, "quorinctl called once too often: %s" % argv
        subcommand, returncode, stdout, stderr = pending.pop(0)
        assert _subcommand_of(argv) == subcommand, argv
        if not isinstance(stdout, str):
            stdout = json.dumps(stdout)
        return returncode, stdout, stderr

    def exit_json(_module, **kwargs):
        raise ModuleExit(False, kwargs)

    def fail_json(_module, **kwargs):
        raise ModuleExit(True, kwargs)

    monkey = pytest.MonkeyPatch()
    monkey.setattr(basic, "_ANSIBLE_ARGS", to_bytes(json.dumps({"ANSIBLE_MODULE_ARGS": args})))
    monkey.setattr(basic.AnsibleModule, "run_command", run_command)
    monkey.setattr(basic.AnsibleModule, "exit_json", exit_json)
    monkey.setattr(basic.AnsibleModule, "fail_json", fail_json)
    try:
        with pytest.raises(ModuleExit) as ended:
            main()
    finally:
        monkey.undo()
    assert not pending, "quorinctl calls expected but not made: %s" % pending
    return Run(ended.value.failed, ended.value.result, calls)


@pytest.fixture(name="run_module")
def fixture_run_module():
    """The module runner."""
    return _run
