"""The Python binding against the native shared build of the library and its simulated reader:
the calls' results through ctypes, the exception families, the reader's lifetime, waiting for a
card and cancelling from another thread."""
import ctypes
import gc
import os
import threading
import time
import unittest

import scene
import zukcntrl
from zukcntrl import Result


class BindingTest(unittest.TestCase):
    def setUp(self):
        scene.set_up()
        scene.lay_card()

    def open(self):
        reader = zukcntrl.open_reader()
        self.addCleanup(reader.close)
        return reader


class LibraryFacts(BindingTest):
    def test_version_mode_and_lengths(self):
        self.assertEqual(zukcntrl.version(), (3, 1, 0))
        self.assertEqual(zukcntrl.raw_version(), 0x00030100)
        self.assertEqual(zukcntrl.mode(), zukcntrl.LibraryMode.CARD)
        self.assertEqual(zukcntrl.max_lengths(), (128, 256))

    def test_mode_off(self):
        scene.set_up(mode=0)
        self.assertEqual(zukcntrl.mode(), zukcntrl.LibraryMode.OFF)

    def test_windows_loader_picks_the_folder_of_the_interpreter_bitness(self):
        paths = zukcntrl._native.candidate_paths
        self.assertEqual(paths("pkg", True, "inst"),
                         [os.path.join("pkg", "x64", "ZUKcntrl.dll"), os.path.join("inst", "ZUKcntrl.dll")])
        self.assertEqual(paths("pkg", False, None), [os.path.join("pkg", "x86", "ZUKcntrl.dll")])

    def test_each_result_raises_its_family_with_name_and_code(self):
        cases = [
            (-1, zukcntrl.Cancelled, "ZUK_CANCELLED"),
            (3, zukcntrl.PinError, "ZUK_ERR_PIN_WRONG"),
            (7, zukcntrl.PinError, "ZUK_ERR_PIN_LOCKED_NOW"),
            (6, zukcntrl.PinError, "ZUK_ERR_CARD_LOCKED"),
            (5, zukcntrl.CardError, "ZUK_ERR_NO_CARD"),
            (0x1000000, zukcntrl.CardError, "ZUK_ERR_CARD_IO"),
            (1280, zukcntrl.ReaderError, "ZUK_ERR_PORT_OPEN"),
            (1792, zukcntrl.ReaderError, "ZUK_ERR_BUSY"),
            (4, zukcntrl.ConfigurationError, "ZUK_ERR_DISABLED"),
            (0x10000, zukcntrl.UsageError, "ZUK_ERR_PARAM"),
            (12345, zukcntrl.ConfigurationError, "unknown result"),
        ]
        for code, family, name in cases:
            with self.subTest(code=code):
                error = zukcntrl.results.error_for("ZUKOpen", code)
                self.assertIs(type(error), family)
                self.assertIsInstance(error, zukcntrl.ZukError)
                self.assertEqual((error.code, error.name), (code, name))
                self.assertIn(name, str(error))


class ReaderCalls(BindingTest):
    def test_card_texts(self):
        reader = self.open()
        self.assertTrue(reader.has_reader)
        self.assertTrue(reader.sense_card())
        self.assertEqual((reader.user_name(), reader.user_option(), reader.admin_option()),
                         ("Alice Example", "opt-user", "opt-admin"))

    def test_verify_pin(self):
        reader = self.open()
        reader.sense_card()
        reader.verify_pin("1234")
        with self.assertRaises(zukcntrl.PinError) as caught:
            reader.verify_pin(b"0000")
        self.assertEqual(caught.exception.result, Result.ERR_PIN_WRONG)

    def test_account_through_the_library_prompt(self):
        reader = self.open()
        reader.sense_card()
        scene.answer_pin_prompt("1234")
        account = reader.account()
        self.assertEqual((account.user_id, account.password), ("alice", "s3cret-pass"))
        self.assertGreater(scene.windows_shown(), 0)  # the count the host-driven tests find at 0

    def test_no_card(self):
        scene.take_card()
        reader = self.open()
        self.assertFalse(reader.sense_card())
        with self.assertRaises(zukcntrl.CardError) as caught:
            reader.user_name()
        self.assertEqual(caught.exception.result, Result.ERR_NO_CARD)


class HostPin(BindingTest):
    def test_account_with_the_host_pin_shows_no_window_in_any_outcome(self):
        # (card, PIN, exception family or None, result, tries left after the call)
        cases = [
            (scene.card(), "1234", None, Result.OK, 3),
            (scene.card(), "0000", zukcntrl.PinError, Result.ERR_PIN_WRONG, 2),
            (scene.card(failure_count=2), "0000", zukcntrl.PinError, Result.ERR_PIN_LOCKED_NOW, 0),
            (scene.card(failure_count=3), "1234", zukcntrl.PinError, Result.ERR_CARD_LOCKED, 0),
            (None, "1234", zukcntrl.CardError, Result.ERR_NO_CARD, -1),
        ]
        for description, pin, family, result, tries in cases:
            with self.subTest(result=result.name):
                scene.set_up()
                if description is not None:
                    scene.lay_card(description)
                with zukcntrl.open_reader() as reader:
                    if family is None:
                        account = reader.account_with_pin(pin)
                        self.assertEqual(account, ("alice", "s3cret-pass", tries))
                    else:
                        with self.assertRaises(family) as caught:
                            reader.account_with_pin(pin)
                        self.assertEqual(caught.exception.result, result)
                        if family is zukcntrl.PinError:
                            self.assertEqual(caught.exception.tries_left, tries)
                self.assertEqual(scene.windows_shown(), 0)

    def test_reader_unplugged_is_a_reader_error_without_window(self):
        reader = self.open()
        scene.plug_reader(False)
        self.addCleanup(scene.plug_reader, True)
        with self.assertRaises(zukcntrl.ReaderError):
            reader.account_with_pin("1234")
        self.assertEqual(scene.windows_shown(), 0)

    def test_an_account_call_meeting_a_wait_shows_no_window(self):
        # Another thread waits for a card; the account call with the host's PIN meets that call in
        # progress and must wait or give up without any window (no busy box).
        scene.take_card()
        reader = self.open()
        outcomes = []

        def run(call):
            try:
                call()
                outcomes.append("ok")
            except zukcntrl.ZukError as e:
                outcomes.append(e.name)

        waiter = threading.Thread(target=run, args=(lambda: reader.wait_for_card(True, None),))
        waiter.start()
        time.sleep(0.1)
        account = threading.Thread(target=run, args=(lambda: reader.account_with_pin("1234"),))
        account.start()
        time.sleep(0.2)
        while waiter.is_alive() or account.is_alive():
            zukcntrl.cancel()
            time.sleep(0.01)
        self.assertEqual(scene.windows_shown(), 0, outcomes)
        self.assertLessEqual(set(outcomes), {"ZUK_CANCELLED", "ZUK_ERR_BUSY"})

    def test_pin_tries(self):
        reader = self.open()
        reader.sense_card()
        self.assertEqual(reader.pin_tries(), (3, 3))
        with self.assertRaises(zukcntrl.PinError):
            reader.account_with_pin("0000")
        self.assertEqual(reader.pin_tries(), (2, 3))


class Waiting(BindingTest):
    def test_wait_with_time_out(self):
        reader = self.open()
        self.assertTrue(reader.wait_for_card(present=True, timeout=0.2))
        self.assertFalse(reader.wait_for_card(present=False, timeout=0.2))
        scene.take_card()
        self.assertFalse(reader.wait_for_card(present=True, timeout=0.2))
        self.assertTrue(reader.wait_for_card(present=False, timeout=0.2))

    def test_card_laid_from_another_thread_ends_the_wait(self):
        scene.take_card()
        reader = self.open()
        threading.Timer(0.1, scene.lay_card).start()
        self.assertTrue(reader.wait_for_card(present=True, timeout=None))

    def test_cancel_from_another_thread_ends_the_wait_and_the_next_call_works(self):
        scene.take_card()
        reader = self.open()
        cancellation = zukcntrl.Cancellation()
        threading.Timer(0.1, cancellation.cancel).start()
        started = time.monotonic()
        with self.assertRaises(zukcntrl.Cancelled) as caught:
            reader.wait_for_card(present=True, timeout=None, cancellation=cancellation)
        self.assertEqual(caught.exception.code, -1)
        self.assertLess(time.monotonic() - started, 5)
        scene.lay_card()
        self.assertTrue(reader.sense_card())

    def test_a_cancel_given_as_the_call_begins_still_ends_it(self):
        # The library ends only the calls under way when its cancel comes: a cancel given after the
        # binding took the call but before the library's call began must still end it (the
        # Cancellation repeats it until the call returns).  It is given from inside the call, just
        # before the export is entered.
        scene.take_card()
        reader = self.open()
        cancellation = zukcntrl.Cancellation()
        dll = zukcntrl._native.library()
        present, codes = ctypes.c_int(0), []

        def call():
            cancellation.cancel()
            return dll.ZUKWaitForCard(reader._handle, 1, -1, ctypes.byref(present))

        waiter = threading.Thread(target=lambda: codes.append(cancellation.run("ZUKWaitForCard", call)))
        waiter.start()
        waiter.join(2)
        hung = waiter.is_alive()
        while waiter.is_alive():  # end it all the same, so that a failure leaves no thread
            zukcntrl.cancel()
            waiter.join(0.1)
        self.assertFalse(hung, "the cancel was lost")
        self.assertEqual(codes, [Result.CANCELLED])

    def test_a_cancelled_cancellation_stops_a_call_before_it_starts(self):
        reader = self.open()
        cancellation = zukcntrl.Cancellation()
        cancellation.cancel()
        with self.assertRaises(zukcntrl.Cancelled):
            reader.wait_for_card(present=True, timeout=None, cancellation=cancellation)

    def test_cancel_while_nothing_waits_does_not_reach_the_next_call(self):
        reader = self.open()
        zukcntrl.cancel()
        self.assertTrue(reader.wait_for_card(present=True, timeout=0.2))


class Lifetime(BindingTest):
    def test_the_with_block_closes_the_reader(self):
        with zukcntrl.open_reader() as reader:
            with self.assertRaises(zukcntrl.ReaderError) as caught:
                zukcntrl.open_reader()
            self.assertEqual(caught.exception.result, Result.ERR_ALREADY_OPEN)
        self.assertTrue(reader.closed)
        with self.assertRaises(ValueError):
            reader.sense_card()
        zukcntrl.open_reader().close()

    def test_a_forgotten_reader_is_closed_when_collected(self):
        reader = zukcntrl.open_reader()
        del reader
        gc.collect()
        zukcntrl.open_reader().close()


if __name__ == "__main__":
    unittest.main()
