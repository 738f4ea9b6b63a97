# -*- coding: utf-8 -*-
# QuorinConfigTool: the quorin.boards collection.
"""quorin_settings with quorinctl mocked."""

from __future__ import absolute_import, division, print_function

__metaclass__ = type  # pylint: disable=invalid-name

import pytest

from ansible_collections.quorin.boards.plugins.modules import quorin_settings

MAC = "02:51:00:02:00:00"
BOARD = {"mac_address": MAC, "model": "Quorin712P", "firmware_version": "1.5.0",
         "channel[0].local_port": "5000", "channel[0].use_dns": "off",
         "channel[0].baud_rate": "57600"}
FIELDS = [{"name": "mac_address", "settable": False, "value": MAC},
          {"name": "firmware_version", "settable": False, "value": "1.5.0"},
          {"name": "channel[0].local_port", "settable": True, "value": "5000"},
          {"name": "channel[0].use_dns", "settable": True, "value": "off"},
          {"name": "channel[0].baud_rate", "settable": True, "value": "57600"}]


def show(changed=None):
    """The answer of 'quorinctl show MAC --json', with some fields changed."""
    board = dict(BOARD)
    board.update(changed or {})
    return ("show", 0, {"board": board, "fields": FIELDS}, "")


SET_OK = ("set", 0, MAC + " ok: 1 field(s) set and verified\n", "")


@pytest.mark.parametrize("settings, check_mode, answers, changed, set_args, changes", [
    # Nothing differs: one read, no set.
    ({"channel[0].local_port": "5000"}, False, [show()], False, None, []),
    ({"channel[0].local_port": 5000, "channel[0].use_dns": False}, False, [show()], False, None, []),
    # Check mode: one read, the changes, no set.
    ({"channel[0].local_port": "4001"}, True, [show()], True, None,
     [{"field": "channel[0].local_port", "before": "5000", "after": "4001"}]),
    # For real: read, set the fields that differ (sorted), read again.
    ({"channel[0].local_port": "4001", "channel[0].baud_rate": "57600"}, False,
     [show(), SET_OK, show({"channel[0].local_port": "4001"})], True,
     ["channel[0].local_port=4001"],
     [{"field": "channel[0].local_port", "before": "5000", "after": "4001"}]),
    ({"channel[0].use_dns": True, "channel[0].baud_rate": 115200}, False,
     [show(), SET_OK, show({"channel[0].use_dns": "on", "channel[0].baud_rate": "115200"})], True,
     ["channel[0].baud_rate=115200", "channel[0].use_dns=on"], None),
    # The set exits 0 but the board reads back as before: not changed.
    ({"channel[0].local_port": "4001"}, False, [show(), SET_OK, show()], False,
     ["channel[0].local_port=4001"], None),
])
def test_settings(run_module, settings, check_mode, answers, changed, set_args, changes):
    """changed comes from the board before and after; set only what differs."""
    run = run_module(quorin_settings.main, {"mac": MAC, "settings": settings}, answers,
                     check_mode=check_mode)
    assert not run.failed, run.result
    assert run.result["changed"] is changed
    if set_args is None:
        assert "set" not in run.subcommands
    else:
        set_call = run.calls[run.subcommands.index("set")]
        assert set_call[-len(set_args) - 1:] == [MAC] + set_args
        assert "--json" not in set_call
    if changes is not None:
        assert run.result["changes"] == changes


@pytest.mark.parametrize("settings, answers, message", [
    ({"bogus": "1"}, [show()], "unknown field(s) bogus"),
    ({"firmware_version": "1.6.0"}, [show()], "firmware_version cannot be set (read-only)"),
    ({}, [], "settings is empty"),
    ({"channel[0].local_port": "4001"},
     [("show", 1, "", "quorinctl: board 02:51:00:02:00:00 did not answer the search\n")],
     "did not answer the search"),
    ({"channel[0].local_port": "4001"}, [("show", 0, {"fields": []}, "")], "without a 'board' object"),
    ({"channel[0].local_port": "99999"},
     [show(), ("set", 2, "", 'quorinctl: channel[0].local_port: "99999" is not a whole number\n')],
     "quorinctl set failed; exit status 2 (bad_input)"),
    ({"channel[0].local_port": "4001"},
     [show(), ("set", 1, "", "quorinctl: the board did not hold channel[0].local_port\n")],
     "exit status 1 (failure)"),
    ({"channel[0].local_port": "4001"}, [show(), ("set", 130, "", "")], "(interrupted)"),
])
def test_settings_failures(run_module, settings, answers, message):
    """Unknown and read-only fields fail before anything is sent; set failures name the status."""
    run = run_module(quorin_settings.main, {"mac": MAC, "settings": settings}, answers)
    assert run.failed
    assert message in run.result["msg"]


@pytest.mark.parametrize("check_mode, answers, after", [
    (True, [show()], {"channel[0].local_port": "4001"}),
    (False, [show(), SET_OK, show({"channel[0].local_port": "4001"})], {"channel[0].local_port": "4001"}),
])
def test_settings_diff(run_module, check_mode, answers, after):
    """Diff mode: the fields named, before and after."""
    run = run_module(quorin_settings.main, {"mac": MAC, "settings": {"channel[0].local_port": "4001"}},
                     answers, check_mode=check_mode, diff=True)
    assert run.result["diff"] == {"before": {"channel[0].local_port": "5000"}, "after": after}
