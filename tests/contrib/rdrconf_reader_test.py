"""What the rdrconf_reader module makes of rdrconf-cli's document when it is
not the plain case that the playbook runs meet: the reason of a failure that
the document gives only per reader or not at all, and the diff of readers
with and without a record."""
import os
import sys
import unittest

sys.path.insert(0, os.path.join(os.environ["ANSIBLE_COLLECTIONS"],
                                "ansible_collections", "rdrconf", "fleet", "plugins", "modules"))
import rdrconf_reader  # noqa: E402

PASSIVE = {"format": "8h10d", "format_index": 5, "mode": "passive", "enter": False, "power_saving": True}
ACTIVE = {"format": "6h10d", "format_index": 4, "mode": "active", "enter": True, "power_saving": False}


class FailureReason(unittest.TestCase):
    def test_the_documents_message_comes_first(self):
        document = {"message": "profile.json:4:13: \"mode\" must be \"active\" or \"passive\"",
                    "readers": [{"path": "/dev/hidraw0", "outcome": "busy", "message": "in use"}]}
        self.assertEqual(rdrconf_reader.failure_reason(document, "stderr words", 2),
                         "profile.json:4:13: \"mode\" must be \"active\" or \"passive\"")

    def test_without_one_the_readers_that_failed_say_why(self):
        document = {"outcome": "busy", "readers": [
            {"path": "/dev/hidraw0", "serial": "A1B2", "outcome": "done", "message": "set format 8h10d (5)"},
            {"path": "/dev/hidraw1", "serial": "C3D4", "outcome": "busy", "message": "another program holds it"},
            {"path": "/dev/hidraw2", "outcome": "denied"}]}
        self.assertEqual(rdrconf_reader.failure_reason(document, "", 5),
                         "/dev/hidraw1 (serial C3D4): another program holds it; /dev/hidraw2: denied")

    def test_then_stderr_then_the_exit_status(self):
        self.assertEqual(rdrconf_reader.failure_reason({"readers": []}, "rdrconf-cli: bad\n", 2), "rdrconf-cli: bad")
        self.assertEqual(rdrconf_reader.failure_reason({"message": "  "}, "", 1),
                         "rdrconf-cli apply ended with exit status 1 and gave no reason")


class Diffs(unittest.TestCase):
    def test_only_readers_that_change_and_unknown_without_a_record(self):
        readers = [
            {"path": "/dev/hidraw0", "serial": "A1B2", "changed": False, "before": PASSIVE, "after": PASSIVE},
            {"path": "/dev/hidraw1", "changed": True, "before": None, "after": PASSIVE},
            {"path": "/dev/hidraw2", "serial": "E5F6", "changed": True, "before": ACTIVE, "after": PASSIVE},
        ]
        diffs = rdrconf_reader.reader_diffs(readers)
        self.assertEqual([diff["before_header"] for diff in diffs],
                         ["/dev/hidraw1: settings recorded", "/dev/hidraw2 (serial E5F6): settings recorded"])
        self.assertEqual(diffs[0]["before"], "format: unknown\nmode: unknown\nenter: unknown\npower_saving: unknown\n")
        self.assertEqual(diffs[1]["before"], "format: 6h10d (4)\nmode: active\nenter: true\npower_saving: false\n")
        self.assertEqual(diffs[1]["after"], "format: 8h10d (5)\nmode: passive\nenter: false\npower_saving: true\n")


if __name__ == "__main__":
    unittest.main()
