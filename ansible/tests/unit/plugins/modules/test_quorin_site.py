# -*- coding: utf-8 -*-
# QuorinConfigTool: the quorin.boards collection.
"""quorin_site with quorinctl mocked."""

from __future__ import absolute_import, division, print_function

__metaclass__ = type  # pylint: disable=invalid-name

import pytest

from ansible_collections.quorin.boards.plugins.modules import quorin_site

SITE = "/etc/quorin/plant-a.yml"
A, B = "02:51:00:02:00:00", "02:51:00:02:00:01"
FINDING = {"mac": A, "kind": "setting", "field": "channel[0].local_port", "now": "5000", "wanted": "4001"}


def plan(*changes_per_board):
    """A plan's JSON, one board per list of changes."""
    boards = []
    for index, changes in enumerate(changes_per_board):
        boards.append({"mac": (A, B)[index], "model": "Quorin712P", "local_ip": "127.0.1.%d" % (index + 1),
                       "firmware": "1.5.0", "settings": {"channel[0].local_port": "5000"},
                       "record": "0200", "changes": changes})
    return {"format_version": 1, "kind": "plan", "site": SITE, "boards": boards, "missing": [], "unlisted": []}


def report(*results):
    """An apply report, one board per result."""
    boards = [{"mac": (A, B)[index], "model": "Quorin712P", "local_ip": "127.0.1.%d" % (index + 1),
               "result": result, "changed": ["channel[0].local_port"] if result == "changed" else [],
               "message": "" if result in ("changed", "unchanged") else "did not answer"}
              for index, result in enumerate(results)]
    return {"format_version": 1, "command": "apply", "journal": "/state/quorinctl/journal-1.json",
            "interrupted": False, "boards": boards, "summary": {}}


CHANGE = {"field": "channel[0].local_port", "now": "5000", "wanted": "4001"}


@pytest.mark.parametrize("returncode, findings, compliant", [
    (0, [], True),
    (3, [FINDING], False),
    (3, [{"mac": A, "kind": "firmware", "now": "1.5.0", "minimum": "1.5.2"}], False),
])
def test_audited(run_module, returncode, findings, compliant):
    """Findings (exit 3) are not a failure; never changed."""
    data = {"format_version": 1, "site": SITE, "findings": findings, "unlisted": [], "compliant": 1}
    for check_mode in (False, True):
        run = run_module(quorin_site.main, {"path": SITE, "state": "audited"},
                         [("audit", returncode, data, "")], check_mode=check_mode)
        assert not run.failed
        assert run.result["changed"] is False
        assert run.result["findings"] == findings
        assert run.result["compliant"] is compliant
        assert run.result["compliant_boards"] == 1
        assert run.calls[0][-2:] == [SITE, "--json"]


@pytest.mark.parametrize("answer, message", [
    ((1, "", "quorinctl: no board answered\n"), "exit status 1 (failure)"),
    ((2, "", "quorinctl: plant-a.yml: boards[0]: no mac\n"), "exit status 2 (bad_input)"),
    ((4, "", ""), "(partial)"),
    ((130, "", ""), "(interrupted)"),
    ((3, "{", ""), "printed no usable JSON"),
])
def test_audited_failures(run_module, answer, message):
    """Every other status fails the audit."""
    run = run_module(quorin_site.main, {"path": SITE, "state": "audited"}, [("audit",) + answer])
    assert run.failed
    assert message in run.result["msg"]


@pytest.mark.parametrize("returncode, data, changed", [
    (3, plan([CHANGE], []), True),
    (0, plan([], []), False),
    (3, plan([], [CHANGE]), True),
])
def test_applied_check_mode(run_module, returncode, data, changed):
    """Check mode runs plan only; changed is whether any board has changes."""
    run = run_module(quorin_site.main, {"path": SITE, "state": "applied"},
                     [("plan", returncode, data, "")], check_mode=True, diff=True)
    assert not run.failed
    assert run.subcommands == ["plan"]
    assert run.result["changed"] is changed
    assert all("record" not in board and "settings" not in board for board in run.result["boards"])
    assert [board["changes"] for board in run.result["boards"]] == [board["changes"] for board in data["boards"]]
    expected_before = dict((board["mac"], {"channel[0].local_port": "5000"})
                           for board in data["boards"] if board["changes"])
    assert run.result["diff"]["before"] == expected_before


@pytest.mark.parametrize("returncode, data, failed, changed, message", [
    (0, report("changed", "unchanged"), False, True, None),
    (0, report("unchanged", "unchanged"), False, False, None),
    (4, report("changed", "not_reached"), True, True, "02:51:00:02:00:01 (not_reached)"),
    (4, report("failed", "not_started"), True, False, "02:51:00:02:00:00 (failed)"),
    (1, report("failed", "failed"), True, False, "exit status 1 (failure)"),
    (130, dict(report("changed", "not_started"), interrupted=True), True, True, "(interrupted)"),
    (2, "", True, False, "exit status 2 (bad_input)"),
    (0, "no json", True, False, "printed no usable JSON"),
])
def test_applied(run_module, returncode, data, failed, changed, message):
    """apply: changed from the board results; failures carry every board's result."""
    run = run_module(quorin_site.main, {"path": SITE, "state": "applied", "jobs": 4},
                     [("apply", returncode, data, "quorinctl: something\n")])
    assert run.failed is failed
    assert run.calls[0][-4:] == [SITE, "--jobs", "4", "--json"]
    if isinstance(data, dict):
        assert run.result["changed"] is changed
        assert run.result["boards"] == data["boards"]
    if message:
        assert message in run.result["msg"]


def test_applied_diff_plans_first(run_module):
    """Diff mode outside check mode: plan, then apply."""
    run = run_module(quorin_site.main, {"path": SITE, "state": "applied"},
                     [("plan", 3, plan([CHANGE], []), ""), ("apply", 0, report("changed", "unchanged"), "")],
                     diff=True)
    assert run.subcommands == ["plan", "apply"]
    assert run.result["diff"] == {"before": {A: {"channel[0].local_port": "5000"}},
                                  "after": {A: {"channel[0].local_port": "4001"}}}
