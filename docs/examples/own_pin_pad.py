"""own_pin_pad.py - a host with its own PIN entry, through the Python binding (bindings/python,
the package zukcntrl).

The library shows no window here: the host senses the card, asks for the PIN itself, and gets the
account, or the tries the card has left after a wrong PIN, or word that the card is locked.  The
wait for a card has no time-out of its own; the kiosk's idle timer, another thread, cancels it.
    python own_pin_pad.py [idle-seconds]     reads the PIN from standard input
"""
import sys
import threading

import zukcntrl


def identify(reader, idle):
    if not reader.sense_card():
        print("Lay your card on the reader", flush=True)
        reader.wait_for_card(present=True, timeout=None, cancellation=idle)
    tries = reader.pin_tries()
    print("PIN tries left: %d of %d" % (tries.left, tries.limit))
    while True:
        print("PIN: ", end="", flush=True)
        pin = sys.stdin.readline()
        if not pin:
            print("No PIN entered")
            return 1
        try:
            account = reader.account_with_pin(pin.rstrip("\r\n"), cancellation=idle)
        except zukcntrl.PinError as e:
            if e.result == zukcntrl.Result.ERR_PIN_WRONG:
                print("Wrong PIN: %d tries left" % e.tries_left)
                continue
            if e.result == zukcntrl.Result.ERR_PIN_LOCKED_NOW:
                print("Wrong PIN: the card is now locked")
            else:
                print("This card is locked: see your administrator")
            return 3
        except zukcntrl.CardError as e:
            print("The card cannot be read (%s): lay it on the reader again" % e.name)
            return 1
        print("Welcome, %s" % account.user_id)
        return 0


def main(argv):
    idle_seconds = float(argv[1]) if len(argv) > 1 else 30.0
    if zukcntrl.mode() == zukcntrl.LibraryMode.OFF:
        print("ZUKcntrl is switched off: use the host's own log-on")
        return 0
    print("ZUKcntrl %d.%d.%d" % zukcntrl.version())
    idle = zukcntrl.Cancellation()
    timer = threading.Timer(idle_seconds, idle.cancel)
    timer.start()
    try:
        with zukcntrl.open_reader(cancellation=idle) as reader:
            return identify(reader, idle)
    except zukcntrl.Cancelled:
        print("Cancelled: back to the welcome screen")
        return 2
    except zukcntrl.ZukError as e:
        print("The reader cannot be used: %s" % e)
        return 1
    finally:
        timer.cancel()


if __name__ == "__main__":
    sys.exit(main(sys.argv))
