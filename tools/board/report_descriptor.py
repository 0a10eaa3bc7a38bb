"""HID report descriptors for the virtual board."""


FEATURE_LENGTH = 8


def vendor_descriptor(in_len, out_len, report_id=0, feature_id=0, output_id=None):
    """A vendor-page (0xFF00) application collection with one input report
    of in_len bytes and one output report of out_len bytes, 8-bit array
    fields, no report ID unless report_id is non-zero. The output report
    stands under output_id where given (not None), else under report_id. A
    length of 0 leaves that report out. A non-zero feature_id adds a
    feature report of FEATURE_LENGTH bytes under that ID, after the others:
    the host then numbers its feature reports alone (unless report_id
    numbers the rest)."""
    for n in (in_len, out_len):
        if not 0 <= n <= 255:
            raise ValueError("report length %d out of range 0..255" % n)
    if output_id is None:
        output_id = report_id
    for i in (report_id, feature_id, output_id):
        if not 0 <= i <= 255:
            raise ValueError("report ID %d out of range" % i)
    d = [0x06, 0x00, 0xFF,       # Usage Page (vendor 0xFF00)
         0x09, 0x01,             # Usage 1
         0xA1, 0x01]             # Collection (Application)
    if report_id:
        d += [0x85, report_id]   # Report ID
    d += [0x15, 0x00, 0x26, 0xFF, 0x00, 0x75, 0x08]  # 0..255, 8 bits
    if in_len:
        d += [0x19, 0x01, 0x29, in_len, 0x95, in_len, 0x81, 0x00]  # Input
    if out_len:
        if output_id != report_id:
            d += [0x85, output_id]  # Report ID
        d += [0x19, 0x01, 0x29, out_len, 0x95, out_len, 0x91, 0x00]  # Output
    if feature_id:
        d += [0x85, feature_id,  # Report ID
              0x09, 0x01, 0x95, FEATURE_LENGTH, 0xB1, 0x02]  # Feature
    d += [0xC0]                  # End Collection
    return bytes(d)
