# -*- coding: utf-8 -*-
# QuorinConfigTool: the quorin.boards collection.
"""quorin_search with quorinctl mocked."""

from __future__ import absolute_import, division, print_function

__metaclass__ = type  # pylint: disable=invalid-name

import pytest

from ansible_collections.quorin.boards.plugins.modules import quorin_search

BOARD = {"interface": "lo", "protocol": "main", "mac_address": "02:51:00:02:00:00",
         "product_code": "0002", "model": "Quorin712P", "firmware_version": "1.5.0",
         "local_ip": "127.0.1.1", "channel[0].local_port": "5000"}
NET = ["--broadcast", "127.255.255.255", "--port", "40001", "--legacy-port", "40002",
       "--legacy-local-port", "0"]


@pytest.mark.parametrize("params, check_mode, answer, failed, boards, message", [
    ({}, False, (0, {"format_version": 1, "boards": [BOARD]}, ""), False, [BOARD], None),
    ({}, True, (0, {"format_version": 1, "boards": [BOARD]}, ""), False, [BOARD], None),
    ({}, False, (0, {"format_version": 1, "boards": []}, ""), False, [], None),
    ({}, False, (1, "", "quorinctl: no interface to search on\n"), True, None,
     "exit status 1 (failure); stderr: quorinctl: no interface to search on"),
    ({}, False, (2, "", "quorinctl: --port: not a port\n"), True, None, "(bad_input)"),
    ({}, False, (130, "", ""), True, None, "(interrupted)"),
    ({}, False, (0, "not json", ""), True, None, "printed no usable JSON"),
    ({}, False, (0, {"format_version": 1}, ""), True, None, "without a 'boards' list"),
])
def test_search(run_module, params, check_mode, answer, failed, boards, message):
    """The boards as data, never changed, failures named."""
    run = run_module(quorin_search.main, params, [("search",) + answer], check_mode=check_mode)
    assert run.failed is failed
    assert failed or run.result["changed"] is False
    if boards is not None:
        assert run.result["boards"] == boards
        assert run.result["macs"] == [board["mac_address"] for board in boards]
    if message:
        assert message in run.result["msg"]


@pytest.mark.parametrize("params, tail", [
    ({}, ["search", "--json"]),
    ({"expect": 2}, ["search", "--expect", "2", "--json"]),
    ({"wait_ms": 250}, ["--wait", "250", "search", "--json"]),
])
def test_search_command(run_module, params, tail):
    """The network options, then search and its options."""
    run = run_module(quorin_search.main, params,
                     [("search", 0, {"format_version": 1, "boards": []}, "")])
    assert run.calls == [["/opt/quorin/bin/quorinctl"] + NET + tail]
