# -*- coding: utf-8 -*-
# QuorinConfigTool: the quorin.boards collection.
"""quorin_firmware with quorinctl mocked."""

from __future__ import absolute_import, division, print_function

__metaclass__ = type  # pylint: disable=invalid-name

import pytest

from ansible_collections.quorin.boards.plugins.modules import quorin_firmware

IMAGE = "/srv/fw/quorin712p-1.5.2.bin"
A, B = "02:51:00:02:00:00", "02:51:00:02:00:01"


def board(mac, before, after, result, message=""):
    """One board's result."""
    return {"mac": mac, "local_ip": "127.0.1.1", "model": "Quorin712P", "firmware_before": before,
            "firmware_after": after, "result": result, "message": message, "changes": []}


def upload(returncode, *boards):
    """The JSON of quorinctl upload."""
    return {"format_version": 1, "image": IMAGE, "sha256": "ab" * 32, "size": 20000, "version": "1.5.2",
            "exit_status": returncode, "boards": list(boards)}


@pytest.mark.parametrize("params, tail", [
    ({}, [IMAGE, A, B, "--json"]),
    ({"manifest": "/srv/fw/m.json", "jobs": 2, "canary": 1, "max_failures": 0, "verify_timeout": 30,
      "order": "mac"},
     [IMAGE, A, B, "--manifest", "/srv/fw/m.json", "--canary", "1", "--max-failures", "0", "--jobs", "2",
      "--order", "mac", "--verify-timeout", "30", "--json"]),
    ({"allow_older": True, "reinstall": True, "ignore_compatible": True},
     [IMAGE, A, B, "--allow-older", "--reinstall", "--ignore-compatible", "--json"]),
    ({"allow_older": False, "reinstall": False}, [IMAGE, A, B, "--json"]),
])
def test_upload_command(run_module, params, tail):
    """upload IMAGE MAC... then the options set, then --json."""
    run = run_module(quorin_firmware.main, dict({"macs": [A, B], "image": IMAGE}, **params),
                     [("upload", 0, upload(0, board(A, "1.5.0", "1.5.2", "verified"),
                                           board(B, "1.5.2", "", "skipped")), "")])
    assert run.calls[0][run.calls[0].index("upload") + 1:] == tail


@pytest.mark.parametrize("returncode, boards, reinstall, failed, changed, upgraded", [
    # exit 0: one verified, one skipped (firmware_after empty is not a change).
    (0, [board(A, "1.5.0", "1.5.2", "verified"), board(B, "1.5.2", "", "skipped")], False, False, True, [A]),
    (0, [board(A, "1.5.2", "", "skipped"), board(B, "1.5.2", "", "skipped")], False, False, False, []),
    # A reinstall takes the image with the same version: changed.
    (0, [board(A, "1.5.2", "1.5.2", "verified")], True, False, True, [A]),
    # exit 4: partial.
    (4, [board(A, "1.5.0", "", "failed", "FAILED: Firmware Upload Connection Fail"),
         board(B, "1.5.0", "1.5.2", "verified")], False, True, True, [B]),
    (4, [board(A, "1.5.0", "1.5.0", "other_firmware"), board(B, "1.5.0", "1.5.2", "verified")],
     False, True, True, [A, B]),
    (4, [board(A, "1.5.0", "1.5.2", "settings_changed"), board(B, "1.5.0", "", "not_started")],
     False, True, True, [A]),
    # exit 1: none.
    (1, [board(A, "1.5.0", "", "failed")], False, True, False, []),
    (1, [board(A, "1.5.0", "", "not_back")], False, True, True, [A]),
    # exit 2: the manifest refused a board.
    (2, [board(A, "1.5.0", "", "refused", "model not in the manifest")], False, True, False, []),
    # exit 130: interrupted.
    (130, [board(A, "1.5.0", "", "interrupted"), board(B, "1.5.0", "1.5.2", "verified")], False, True, True,
     [B]),
    (0, [board(A, "1.5.0", "1.5.2", "unverified")], False, True, True, [A]),
])
def test_upload_results(run_module, returncode, boards, reinstall, failed, changed, upgraded):
    """changed from the firmware before and after; every board not verified or skipped fails."""
    run = run_module(quorin_firmware.main,
                     {"macs": [item["mac"] for item in boards], "image": IMAGE, "reinstall": reinstall},
                     [("upload", returncode, upload(returncode, *boards), "")])
    assert run.failed is failed
    assert run.result["changed"] is changed
    assert run.result["upgraded"] == upgraded
    assert run.result["boards"] == boards
    if failed:
        bad = [item for item in boards if item["result"] not in ("verified", "skipped")]
        assert run.result["failed_boards"] == [item["mac"] for item in bad]
        for item in bad:
            assert "%s (%s" % (item["mac"], item["result"]) in run.result["msg"]


@pytest.mark.parametrize("returncode, boards, failed, changed, diff_after", [
    (0, [board(A, "1.5.0", "", "would_upgrade"), board(B, "1.5.2", "", "skipped")], False, True,
     {A: "1.5.2", B: "1.5.2"}),
    (0, [board(A, "1.5.2", "", "skipped")], False, False, {A: "1.5.2"}),
    (2, [board(A, "1.5.0", "", "refused", "DAVRO2xM only"), board(B, "1.5.0", "", "would_upgrade")],
     True, True, {A: "1.5.0", B: "1.5.2"}),
])
def test_check_mode_dry_run(run_module, returncode, boards, failed, changed, diff_after):
    """Check mode: upload --dry-run; would_upgrade is the change, refused fails."""
    run = run_module(quorin_firmware.main, {"macs": [item["mac"] for item in boards], "image": IMAGE},
                     [("upload", returncode, upload(returncode, *boards), "")], check_mode=True, diff=True)
    assert "--dry-run" in run.calls[0]
    assert run.failed is failed
    assert run.result["changed"] is changed
    assert run.result["diff"]["after"] == diff_after


@pytest.mark.parametrize("check_mode, answer, message", [
    (True, (2, "", "The following argument was not expected: --dry-run\nRun with --help for more information.\n"),
     "check mode needs 'quorinctl upload --dry-run'"),
    (False, (1, "", "quorinctl: board 02:51:00:02:00:09 did not answer the search\n"),
     "quorinctl upload failed; exit status 1 (failure); stderr: quorinctl: board 02:51:00:02:00:09 did not"),
    (False, (2, "", "quorinctl: manifest m.json: models[0]: unknown model \"Other\"\n"),
     "exit status 2 (bad_input)"),
    (False, (0, "image fw.bin: 20000 bytes", ""), "printed no usable JSON"),
    (False, (0, {"format_version": 1}, ""), "no 'boards' list"),
    (False, (9, "", "killed"), "exit status 9 (unknown)"),
])
def test_upload_without_results(run_module, check_mode, answer, message):
    """No JSON results: the failure names the status and stderr."""
    run = run_module(quorin_firmware.main, {"macs": ["02:51:00:02:00:09"], "image": IMAGE},
                     [("upload",) + answer], check_mode=check_mode)
    assert run.failed
    assert message in run.result["msg"]
